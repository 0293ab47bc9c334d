#pragma once
// Modal show of the program's own dialogs. Tests install a handler that drives the dialog and closes it.
#include <functional>

class QDialog;

namespace platform {

using ModalHandler = std::function<int(QDialog&)>;

// Shows dlg modally (QDialog::exec) unless a handler is installed; returns the dialog's result.
int showModal(QDialog& dlg);

// Installs a handler that is called in place of exec; an empty handler restores exec.
void setModalHandler(ModalHandler handler);

} // namespace platform
