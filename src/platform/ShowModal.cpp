#include "platform/ShowModal.h"

#include <QDialog>

namespace platform {

namespace {
ModalHandler& handler()
{
    static ModalHandler h;
    return h;
}
} // namespace

int showModal(QDialog& dlg)
{
    if (handler()) {
        // Modal in behaviour for the caller: the handler drives the dialog and returns its result.
        dlg.setModal(true);
        dlg.show();
        return handler()(dlg);
    }
    return dlg.exec();
}

void setModalHandler(ModalHandler h) { handler() = std::move(h); }

} // namespace platform
