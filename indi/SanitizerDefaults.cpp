// SPDX-License-Identifier: GPL-3.0-or-later
// Built into the driver only under AddressSanitizer: what the leak checker needs to tell the
// driver's leaks from libindi's own at every exit, whoever starts the driver (indiserver from a
// shell, KStars, the tests).
//
// Debian's libindi is built without frame pointers, so the default fast unwinder stops at its
// first frame: a leak inside libindi then shows only "IUSaveText", and no suppression by the
// function that really allocated can match. Full unwinding costs little in a driver that
// allocates rarely.

extern "C" {

const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

// Allocations libindi 1.9.9 keeps until exit and never frees: the configuration reader and the
// joystick mapping of the focuser base class. Nothing of the driver's own is covered.
const char* __lsan_default_suppressions() {
    return "leak:IUReadConfig\n"
           "leak:INDI::Controller::mapController\n"
           "leak:INDI::Controller::initProperties\n";
}

}  // extern "C"
