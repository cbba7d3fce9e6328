// The application as a test starts it: both windows created, hidden, over a
// FakeSeam (or a test's own kind of FakeSeam).
#pragma once

#include "forms/Unit1.h"
#include "forms/Unit2.h"
#include "runtime/Application.h"
#include "runtime/NativeText.h"
#include "runtime/StatusBar.h"
#include "tests/support/BuildKit.h"
#include "tests/support/FakeSeam.h"

#include <QTest>
#include <memory>

struct AppFixture {
private:
    std::unique_ptr<FakeSeam> seamOwner_;

public:
    FakeSeam &seam;
    std::unique_ptr<TApplication> app;

    explicit AppFixture(RuntimeGeneration generation = RuntimeGeneration::Delphi4,
                        std::unique_ptr<FakeSeam> fake = std::make_unique<FakeSeam>())
        : seamOwner_(std::move(fake)), seam(*seamOwner_) {
        app = std::make_unique<TApplication>(seam, generation);
        app->Initialize();
        app->CreateForm(Form1);
        app->CreateForm(Form2);
    }
    // The program as if started from the kit's folder.
    explicit AppFixture(const BuildKit &kit,
                        RuntimeGeneration generation = RuntimeGeneration::Delphi4,
                        std::unique_ptr<FakeSeam> fake = std::make_unique<FakeSeam>())
        : AppFixture(generation, std::move(fake)) {
        seam.exe = kit.exe();
    }

    // Real processes, the tick counter read tickStep a cycle, and compiler typed in.
    void startForReal(const std::string &compiler, std::uint32_t tickStep) {
        seam.reallyStart = true;
        seam.tickStep = tickStep;
        Form1->Edit1->setText(fromNative(compiler));
    }

    // The main window at rest after a run that did not end the program: the
    // status text cleared, Lumio not started, the program not told to end.
    void expectIdle() const {
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QCOMPARE(Form1->Tag, 0);
        QCOMPARE(seam.terminateCalls, 0);
    }
};
