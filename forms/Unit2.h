// The wait dialog: shown while the unit compiles run, it looks once a second
// for the six compiled units and closes itself when all of them exist, or at
// the latest on its 31st tick.
#pragma once

#include "runtime/Form.h"
#include "ui_Unit2.h"

class TTimer;

class TForm2 : public TForm, public Ui::TForm2 {
    Q_OBJECT

public:
    TForm2();
    ~TForm2() override;

    TTimer *TUj;

    // The latest showing's count has reached its limit: the dialog closed on
    // its time limit (a close by the user before it leaves this false).
    bool RanOut() const;

private:
    void TUjTimer(QObject *sender);
    void FormActivate(QObject *sender);
};

extern TForm2 *Form2;
