#pragma once
// What the main-window suites work in: a fresh working folder with an empty database, scripted prompts and
// a reset shared module for every test; the main window after its start-up; all of it let go afterwards.
// A suite derives from it (after QObject) and adds its own dialog drivers.
#include "TestSupport.h"
#include "platform/Prompts.h"
#include "records/Module1.h"
#include "review/frmMain.h"

#include <QByteArray>
#include <QString>
#include <memory>

class MainWindowRig {
protected:
    std::unique_ptr<testsupport::TempWorkDir> dir_;
    std::unique_ptr<platform::ScriptedPrompts> prompts_;
    std::unique_ptr<frmMain> w_;

    // For init(): the folder, the prompts, the shared module as at program start.
    void freshFolder()
    {
        dir_ = std::make_unique<testsupport::TempWorkDir>();
        prompts_ = std::make_unique<platform::ScriptedPrompts>();
        Module1::Reset();
    }

    // The main window after its start-up, with settings as "initial.txt" (a null text: no such file).
    frmMain& startMainWindow(const QByteArray& settings)
    {
        if (!settings.isNull()) dir_->write(QStringLiteral("initial.txt"), settings);
        w_ = std::make_unique<frmMain>();
        w_->Form_Load();
        return *w_;
    }

    // For cleanup(), after the suite's own handlers are gone: the window, the shared module, the prompts
    // and the folder, in that order.
    void releaseAll()
    {
        w_.reset();
        Module1::Reset();
        prompts_.reset();
        dir_.reset();
    }
};
