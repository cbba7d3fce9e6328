#include "Check.h"

int main() {
    return check::runAll();
}
