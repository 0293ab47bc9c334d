#include "platform/ShowModal.h"

#include "platform/DatabaseLock.h"

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
        const int result = handler()(dlg);
        keepDatabaseLock();
        return result;
    }
    const int result = dlg.exec();
    // Whatever the dialog did, the database keeps its lock.
    keepDatabaseLock();
    return result;
}

void setModalHandler(ModalHandler h) { handler() = std::move(h); }

} // namespace platform
