// The application as a test starts it: both windows created, hidden, over a
// FakeSeam.
#pragma once

#include "Application.h"
#include "FakeSeam.h"
#include "Unit1.h"
#include "Unit2.h"

#include <memory>

struct AppFixture {
    FakeSeam seam;
    std::unique_ptr<TApplication> app;

    explicit AppFixture(RuntimeGeneration generation = RuntimeGeneration::Delphi4) {
        app = std::make_unique<TApplication>(seam, generation);
        app->Initialize();
        app->CreateForm(Form1);
        app->CreateForm(Form2);
    }
};
