// SPDX-License-Identifier: GPL-3.0-or-later
// The emulator's public interface: start and stop, the state accessors, fault injection and
// the counts of what arrived; and the serving loop that finds commands in the host's bytes
// and answers them.
#include "sim/Emulator.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/EmulatorImpl.h"
#include "sim/Trace.h"

namespace kavri::sim {

namespace {

using namespace std::chrono_literals;

// How long a complete keyword that a longer one could extend waits for its next byte.
constexpr auto kExtendTimeout = 50ms;
// How many of the latest keywords ReceivedKeywords() reports.
constexpr std::size_t kKeywordHistory = 4096;

}  // namespace

void Emulator::Impl::Log(const std::string& line) {
    if (options.log) {
        options.log(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void Emulator::Impl::Trace(const char* direction, const std::vector<std::uint8_t>& bytes) {
    if (!options.trace) return;
    std::chrono::duration<double> since = Clock::now() - startTime;
    Log(FormatTraceLine(since.count(), direction, bytes));
}

void Emulator::Impl::Dispatch(const std::string& keyword) {
    {
        std::lock_guard lock(mu);
        recentKeywords.push_back(keyword);
        if (recentKeywords.size() > kKeywordHistory) recentKeywords.pop_front();
        ++keywordCounts[keyword];
    }
    std::vector<std::uint8_t> args;
    bool complete = ReadArguments(ArgumentCount(keyword), &args);
    if (complete && keyword == "FWwriteEE") complete = ReadArguments(2 + args[1], &args);
    if (!complete) {
        if (!stopping && master >= 0) Trace("CUT", args);  // abandoned: no reply
        Finish();
        return;
    }
    if (Absent(keyword) || TakeFault(FaultKind::kSilent, keyword)) {
        Finish();
        return;
    }
    Reply reply;
    {
        std::lock_guard lock(mu);
        reply = Handle(keyword, args);
    }
    Shaping shaping = ShapingFor(keyword);
    Emit(reply, shaping);
    Commit(reply);
    SaveIfChanged();
    Finish();
}

void Emulator::Impl::Commit(Reply& reply) {
    if (!reply.commit) return;
    std::lock_guard lock(mu);
    reply.commit(state);
    reply.commit = nullptr;
}

void Emulator::Impl::Finish() {
    std::lock_guard lock(mu);
    ++handled;
    handledCv.notify_all();
}

void Emulator::Impl::SaveIfChanged() {
    if (options.stateFile.empty()) return;
    ControllerState snapshot;
    {
        std::lock_guard lock(mu);
        if (state == lastSaved) return;
        snapshot = state;
    }
    std::string error;
    if (SaveStateFile(options.stateFile, snapshot, &error)) {
        std::lock_guard lock(mu);
        lastSaved = snapshot;
    } else {
        Log("kavri-sim: " + error);
    }
}

void Emulator::Impl::Serve() {
    while (!stopping) {
        std::uint8_t byte = 0;
        std::optional<Clock::time_point> deadline;
        if (matcher.WaitingToExtend()) deadline = Clock::now() + kExtendTimeout;
        ReadResult result = NextByte(&byte, deadline);
        if (result == ReadResult::kStop) break;
        std::optional<KeywordMatcher::Match> match;
        if (result == ReadResult::kTimeout) {
            match = matcher.Flush();
        } else {
            std::vector<std::uint8_t> dropped;
            match = matcher.Feed(byte, &dropped);
            if (!dropped.empty()) Trace("DROP", dropped);
        }
        if (!match) continue;
        input.insert(input.begin(), match->leftover.begin(), match->leftover.end());
        Dispatch(match->keyword);
    }
}

Emulator::Emulator(EmulatorOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Emulator::~Emulator() {
    Stop();
}

bool Emulator::Start(std::string* error) {
    Impl& m = *impl_;
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return false;
    };
    if (m.running) return fail("already running");
    const EmulatorOptions& o = m.options;
    if (o.wheelOnly && o.focuserOnly) return fail("a controller needs a wheel or a focuser");
    if (o.filters && (*o.filters < 1 || *o.filters > kFilterSlots))
        return fail("the number of filters must be 1 to 10");
    if (o.thermometers && (*o.thermometers < 0 || *o.thermometers > kMaxThermometers))
        return fail("the number of thermometers must be 0 to 8");
    // Settings made through the API before Start stand unless a state file replaces them.
    ControllerState loaded = m.state;
    if (!o.stateFile.empty()) {
        bool missing = false;
        std::string why;
        if (!LoadStateFile(o.stateFile, &loaded, &missing, &why)) return fail(why);
    }
    if (o.filters) SetFilterCount(loaded.image, *o.filters);
    if (o.thermometers) loaded.image[offset::kThermometerCount] = *o.thermometers;
    if (loaded.currentFilter >= loaded.image[offset::kFilterCount]) loaded.currentFilter = -1;

    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);  // no echo, no line editing: bytes pass as they are
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    std::string path = ::ttyname(slave) ? ::ttyname(slave) : "";
    int wake[2];
    if (path.empty() || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(slave);
        ::close(master);
        return fail("cannot set up the pseudo-terminal");
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // The emulator keeps its slave descriptor to clear a departed client's exclusive mode;
    // where the device cannot be watched, it lets go and goes by the master's hang-ups.
    m.clients.Start(slave, path);
    m.master = master;
    m.wakeRead = wake[0];
    m.wakeWrite = wake[1];
    m.slaveClosed = !m.clients.Active();  // held open, the slave is never closed
    m.stopping = false;
    m.startTime = Clock::now();
    {
        std::lock_guard lock(m.mu);
        m.state = loaded;
        m.lastSaved = loaded;
        m.slavePath = path;
        m.hungUp = false;
    }
    m.running = true;
    m.thread = std::thread([&m] { m.Serve(); });
    return true;
}

void Emulator::Stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    m.stopping = true;
    std::uint8_t one = 1;
    while (::write(m.wakeWrite, &one, 1) < 0 && errno == EINTR) {
    }
    m.thread.join();
    m.running = false;
    m.clients.Stop();
    for (int* fd : {&m.master, &m.wakeRead, &m.wakeWrite}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    m.SaveIfChanged();
}

std::string Emulator::SlavePath() const {
    std::lock_guard lock(impl_->mu);
    return impl_->slavePath;
}

bool Emulator::HungUp() const {
    std::lock_guard lock(impl_->mu);
    return impl_->hungUp;
}

Image Emulator::GetImage() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.image;
}

void Emulator::SetImage(const Image& image) {
    std::lock_guard lock(impl_->mu);
    impl_->state.image = image;
}

int Emulator::CurrentFilter() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.currentFilter;
}

void Emulator::SetCurrentFilter(int filter) {
    std::lock_guard lock(impl_->mu);
    impl_->state.currentFilter = std::clamp(filter, -1, kFilterSlots - 1);
}

int Emulator::FocuserPosition() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.focuserPosition;
}

void Emulator::SetFocuserPosition(int position) {
    std::lock_guard lock(impl_->mu);
    impl_->state.focuserPosition = static_cast<std::int16_t>(position);
}

int Emulator::Direction() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.direction;
}

void Emulator::SetDirection(int direction) {
    std::lock_guard lock(impl_->mu);
    impl_->state.direction = direction < 0 ? -1 : 1;
}

int Emulator::CompensationThermometer() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.compensationThermometer;
}

void Emulator::SetCompensationThermometer(int thermometer) {
    std::lock_guard lock(impl_->mu);
    impl_->state.compensationThermometer = std::clamp(thermometer, -1, kMaxThermometers - 1);
}

std::vector<std::uint8_t> Emulator::MicrostepTable() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state.microstepTable;
}

void Emulator::SetMicrostepTable(const std::vector<std::uint8_t>& table) {
    std::lock_guard lock(impl_->mu);
    impl_->state.microstepTable.assign(table.begin(),
                                       table.begin() + std::min(table.size(), kMaxMicrosteps));
}

ControllerState Emulator::State() const {
    std::lock_guard lock(impl_->mu);
    return impl_->state;
}

int Emulator::Temperature(int index) const {
    std::lock_guard lock(impl_->mu);
    return impl_->TemperatureLocked(index);
}

void Emulator::SetTemperature(int index, int hundredths) {
    if (index < 0 || index >= kMaxThermometers) return;
    std::lock_guard lock(impl_->mu);
    impl_->pinned[index] = std::clamp(hundredths, -32768, 32767);
}

void Emulator::AddFault(const Fault& fault) {
    std::lock_guard lock(impl_->mu);
    impl_->faults.push_back(fault);
}

void Emulator::ClearFaults() {
    std::lock_guard lock(impl_->mu);
    impl_->faults.clear();
}

std::uint64_t Emulator::BytesReceived() const {
    std::lock_guard lock(impl_->mu);
    return impl_->bytesReceived;
}

std::uint64_t Emulator::CommandsReceived() const {
    std::lock_guard lock(impl_->mu);
    return impl_->handled;
}

std::vector<std::string> Emulator::ReceivedKeywords() const {
    std::lock_guard lock(impl_->mu);
    return {impl_->recentKeywords.begin(), impl_->recentKeywords.end()};
}

int Emulator::CommandCount(std::string_view keyword) const {
    std::lock_guard lock(impl_->mu);
    auto it = impl_->keywordCounts.find(keyword);
    return it == impl_->keywordCounts.end() ? 0 : it->second;
}

bool Emulator::WaitForCommands(std::uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mu);
    return impl_->handledCv.wait_for(lock, timeout, [&] { return impl_->handled >= count; });
}

}  // namespace kavri::sim
