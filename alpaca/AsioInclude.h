// Boost.Asio for every file of the server. Boost 1.74's Asio uses std::exchange without
// including <utility> itself, which C++20 standard libraries no longer pull in for it.
#pragma once

#include <utility>

#include <boost/asio.hpp>
