// indi_kavri: libindi's driver main runs the event loop and hands requests to the one device.
#include <memory>

#include "indi/KavriDriver.h"

namespace {
const std::unique_ptr<kavri::indi::KavriDriver> driver =
    std::make_unique<kavri::indi::KavriDriver>();
}  // namespace
