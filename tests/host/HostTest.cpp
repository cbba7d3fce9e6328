#include "tests/host/Check.h"

int main() {
    return check::runAll();
}
