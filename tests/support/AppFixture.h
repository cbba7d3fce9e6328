// The application as a test starts it: both windows created, hidden, over a
// FakeSeam (or a test's own kind of FakeSeam).
#pragma once

#include "forms/Unit1.h"
#include "forms/Unit2.h"
#include "runtime/Application.h"
#include "tests/support/FakeSeam.h"

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
};
