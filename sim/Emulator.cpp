#include "sim/Emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <numbers>
#include <thread>

#include "sim/Keywords.h"
#include "sim/Trace.h"

namespace kavri::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// 10 bits (start, 8 data, stop) at 9600 baud.
constexpr auto kByteTime = std::chrono::microseconds(1042);
// Arguments follow their keyword at once; a stream that stalls this long inside a command's
// arguments is abandoned, so a lost byte cannot swallow the next command for ever.
constexpr auto kArgumentTimeout = 500ms;
// How long a complete keyword that a longer one could extend waits for its next byte.
constexpr auto kExtendTimeout = 50ms;
// When the line cannot be watched for a new opener, how often to look again.
constexpr auto kClosedLineRecheck = 50ms;
// How many of the latest keywords ReceivedKeywords() reports.
constexpr std::size_t kKeywordHistory = 4096;
// Time between the last byte sent and the hang-up of a hang-up fault.
constexpr auto kHangUpGrace = 300ms;

constexpr std::uint8_t kAck = '!';
constexpr std::uint8_t kRefused = '?';
constexpr std::uint8_t kNoFilter = '/';
constexpr std::uint8_t kLargestStepDivisor = 16;
constexpr int kNoReading = -32768;
constexpr int kNoFocusShift = 10000;  // focus positions above this mean "none"
constexpr int kSlowestSpeed = 10;     // used for a stored speed of 0

// Base readings (hundredths of a degree) of the eight thermometers on a cool night.
constexpr int kBaseTemperatures[kMaxThermometers] = {520, 340, 150, -210, 800, 610, 95, 1230};

enum class Mechanism { kController, kWheel, kFocuser };

Mechanism MechanismOf(std::string_view keyword) {
    if (keyword == "FWreadEE" || keyword == "FWwriteEE") return Mechanism::kController;
    if (keyword == "FWFILTER" || keyword == "FWCOUNT" || keyword == "FWHOME" ||
        keyword == "FWGOTO" || keyword == "FWWRITENAME")
        return Mechanism::kWheel;
    return Mechanism::kFocuser;
}

std::uint8_t FilterDigit(int filter) {
    return filter < 0 ? kNoFilter : static_cast<std::uint8_t>('0' + filter);
}

std::vector<std::uint8_t> Le16(int value) {
    auto v = static_cast<std::uint16_t>(value);
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
}

// What a command sends back: bytes, each group after a delay (motion time), and the state
// change that takes effect once the motion has ended.
struct Reply {
    struct Segment {
        Clock::duration delay{};
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Segment> segments;
    std::function<void(ControllerState&)> commit;

    void Add(std::vector<std::uint8_t> bytes, Clock::duration delay = {}) {
        segments.push_back({delay, std::move(bytes)});
    }
};

// Which reply faults hit one command.
struct Shaping {
    bool drop = false;
    bool cut = false;
    std::optional<std::uint8_t> garbage;
    int pauseMs = 0;
    bool hangUp = false;
};

}  // namespace

struct Emulator::Impl {
    EmulatorOptions options;

    // Shared with the API; guarded by mu.
    mutable std::mutex mu;
    mutable std::condition_variable handledCv;
    ControllerState state;
    ControllerState lastSaved;
    std::array<std::optional<int>, kMaxThermometers> pinned{};
    std::vector<Fault> faults;
    std::uint64_t bytesReceived = 0;
    std::uint64_t handled = 0;
    // The most recent keywords, capped so that a night of polling cannot grow without end,
    // and a count per keyword since the start.
    std::deque<std::string> recentKeywords;
    std::map<std::string, int, std::less<>> keywordCounts;
    bool hungUp = false;
    std::string slavePath;

    // Owned by the serving thread while it runs.
    int master = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    int watch = -1;  // inotify descriptor that reports a new opener of the slave
    bool slaveClosed = true;
    std::deque<std::uint8_t> input;
    KeywordMatcher matcher;
    Clock::time_point nextSend{};
    Clock::time_point startTime = Clock::now();

    std::thread thread;
    std::atomic<bool> stopping{false};
    bool running = false;

    explicit Impl(EmulatorOptions o) : options(std::move(o)) { faults = options.faults; }

    // ---- logging -------------------------------------------------------------------------

    void Log(const std::string& line) {
        if (options.log) {
            options.log(line);
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }

    void Trace(const char* direction, const std::vector<std::uint8_t>& bytes) {
        if (!options.trace) return;
        std::chrono::duration<double> since = Clock::now() - startTime;
        Log(FormatTraceLine(since.count(), direction, bytes));
    }

    // ---- waiting and reading -------------------------------------------------------------

    // Waits until `deadline` or a stop request; false on the stop request.
    bool WaitUntil(Clock::time_point deadline) {
        while (!stopping) {
            auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) return true;
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
            pollfd fd{wakeRead, POLLIN, 0};
            ::ppoll(&fd, 1, &ts, nullptr);
        }
        return false;
    }

    enum class ReadResult { kByte, kTimeout, kStop };

    ReadResult NextByte(std::uint8_t* byte, std::optional<Clock::time_point> deadline) {
        while (true) {
            if (!input.empty()) {
                *byte = input.front();
                input.pop_front();
                return ReadResult::kByte;
            }
            if (stopping || master < 0) return ReadResult::kStop;
            Clock::time_point now = Clock::now();
            if (deadline && now >= *deadline) return ReadResult::kTimeout;

            pollfd fds[2] = {{wakeRead, POLLIN, 0}, {-1, POLLIN, 0}};
            std::optional<Clock::duration> wait;
            if (deadline) wait = *deadline - now;
            if (!slaveClosed) {
                fds[1].fd = master;
            } else if (watch >= 0) {
                fds[1].fd = watch;
            } else if (!wait || *wait > kClosedLineRecheck) {
                wait = kClosedLineRecheck;
            }
            timespec ts{};
            if (wait) {
                auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
                ts = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
            }
            int rc = ::ppoll(fds, fds[1].fd >= 0 ? 2 : 1, wait ? &ts : nullptr, nullptr);
            if (rc < 0 && errno != EINTR) return ReadResult::kStop;
            if (stopping) return ReadResult::kStop;
            if (rc <= 0) {
                if (slaveClosed && watch < 0) slaveClosed = false;  // look again
                continue;
            }
            if (slaveClosed) {
                // Somebody opened the slave: drain the notifications and watch the master.
                char events[4096];
                while (::read(watch, events, sizeof events) > 0) {
                }
                slaveClosed = false;
                continue;
            }
            if (fds[1].revents & POLLIN) {
                std::uint8_t buffer[256];
                ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0) {
                    std::vector<std::uint8_t> chunk(buffer, buffer + n);
                    Trace("RX", chunk);
                    input.insert(input.end(), chunk.begin(), chunk.end());
                    std::lock_guard lock(mu);
                    bytesReceived += static_cast<std::uint64_t>(n);
                } else if (n < 0 && errno == EIO) {
                    slaveClosed = true;
                }
            } else if (fds[1].revents & (POLLHUP | POLLERR)) {
                // Nobody has the slave open; wait for the next opener.
                slaveClosed = true;
            }
        }
    }

    // Reads `count` argument bytes, each within the argument time-out of the one before.
    bool ReadArguments(std::size_t count, std::vector<std::uint8_t>* out) {
        while (out->size() < count) {
            std::uint8_t b = 0;
            if (NextByte(&b, Clock::now() + kArgumentTimeout) != ReadResult::kByte) return false;
            out->push_back(b);
        }
        return true;
    }

    // ---- writing --------------------------------------------------------------------------

    void WriteRaw(const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size && master >= 0 && !stopping) {
            ssize_t n = ::write(master, data + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                // The host is not reading; wait for room, but never past a stop request.
                pollfd fds[2] = {{wakeRead, POLLIN, 0}, {master, POLLOUT, 0}};
                ::poll(fds, 2, 200);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return;  // nobody listening: the bytes are lost, as on a real line
            }
        }
    }

    // Sends bytes at the line rate (or at once when fast); false when stopped meanwhile.
    bool Send(const std::vector<std::uint8_t>& bytes) {
        if (bytes.empty()) return true;
        if (options.fast) {
            WriteRaw(bytes.data(), bytes.size());
        } else {
            for (std::uint8_t b : bytes) {
                if (!WaitUntil(nextSend)) return false;
                WriteRaw(&b, 1);
                nextSend = std::max(Clock::now(), nextSend) + kByteTime;
            }
        }
        Trace("TX", bytes);
        return !stopping;
    }

    bool Delay(Clock::duration d) {
        if (options.fast || d <= Clock::duration::zero()) return !stopping;
        return WaitUntil(Clock::now() + d);
    }

    void HangUp() {
        // Closing the master discards whatever the host has not read yet; the bytes already
        // sent were on the wire, so give the host a moment to take them first.
        WaitUntil(Clock::now() + kHangUpGrace);
        Trace("HUP", {});
        {
            std::lock_guard lock(mu);
            hungUp = true;
        }
        ::close(master);
        master = -1;
        if (options.onHangUp) options.onHangUp();
    }

    // ---- faults ---------------------------------------------------------------------------

    std::optional<Fault> TakeFault(FaultKind kind, std::string_view keyword) {
        std::lock_guard lock(mu);
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->kind != kind || (!it->keyword.empty() && it->keyword != keyword)) continue;
            Fault hit = *it;
            if (it->times != kUnlimited && --it->times <= 0) faults.erase(it);
            return hit;
        }
        return std::nullopt;
    }

    Shaping ShapingFor(std::string_view keyword) {
        Shaping s;
        s.drop = TakeFault(FaultKind::kDrop, keyword).has_value();
        s.cut = TakeFault(FaultKind::kShort, keyword).has_value();
        if (auto f = TakeFault(FaultKind::kGarbage, keyword)) s.garbage = f->garbage;
        if (auto f = TakeFault(FaultKind::kPause, keyword)) s.pauseMs = f->pauseMs;
        s.hangUp = TakeFault(FaultKind::kHangUp, keyword).has_value();
        return s;
    }

    // Sends a reply as shaped by the faults; false when the line went away meanwhile.
    bool Emit(Reply& reply, const Shaping& shaping) {
        std::size_t total = 0;
        for (auto& seg : reply.segments) total += seg.bytes.size();
        if (shaping.cut && total > 0) {
            for (auto it = reply.segments.rbegin(); it != reply.segments.rend(); ++it) {
                if (!it->bytes.empty()) {
                    it->bytes.pop_back();
                    --total;
                    break;
                }
            }
        }
        const std::size_t hangUpAfter = total / 2;
        std::size_t sent = 0;
        bool first = true;
        for (auto& seg : reply.segments) {
            if (!Delay(seg.delay)) return false;
            // The state changes once the motion has ended, before the answer goes out, so
            // whoever reads the answer sees the new state.
            if (&seg == &reply.segments.back()) Commit(reply);
            if (shaping.drop) continue;
            if (shaping.pauseMs == 0 && !shaping.hangUp && !(first && shaping.garbage)) {
                if (!Send(seg.bytes)) return false;
                sent += seg.bytes.size();
                if (!seg.bytes.empty()) first = false;
                continue;
            }
            for (std::uint8_t b : seg.bytes) {
                if (shaping.hangUp && sent == hangUpAfter) {
                    HangUp();
                    return false;
                }
                if (first && shaping.garbage && !Send({*shaping.garbage})) return false;
                // The pause is a fault of the line, so it holds in fast mode too.
                if (!first && shaping.pauseMs > 0 &&
                    !WaitUntil(Clock::now() + std::chrono::milliseconds(shaping.pauseMs)))
                    return false;
                if (!Send({b})) return false;
                ++sent;
                first = false;
            }
        }
        if (shaping.hangUp && master >= 0) {
            HangUp();
            return false;
        }
        return true;
    }

    // ---- the commands ---------------------------------------------------------------------

    Clock::duration SlotTime() const {
        int speed = ReadU16(state.image, offset::kWheelSpeed);
        int steps = ReadU16(state.image, offset::kMaxStepsBetweenFilters);
        if (speed == 0) speed = kSlowestSpeed;
        return std::chrono::microseconds(1000000LL * steps / speed);
    }

    int FilterCount() const { return state.image[offset::kFilterCount]; }
    int ThermometerCount() const { return state.image[offset::kThermometerCount]; }

    int TemperatureLocked(int index) const {
        if (index < 0 || index >= kMaxThermometers || index >= ThermometerCount())
            return kNoReading;
        if (pinned[index]) return *pinned[index];
        // A slow swing of +-0.4 degrees over a quarter of an hour, out of phase per sensor.
        std::chrono::duration<double> t = Clock::now() - startTime;
        double swing = 40.0 * std::sin(2.0 * std::numbers::pi * t.count() / 900.0 + index);
        return kBaseTemperatures[index] + static_cast<int>(std::lround(swing));
    }

    // Builds the reply of one command from the state; called with mu held.
    Reply Handle(const std::string& k, const std::vector<std::uint8_t>& a) {
        Reply r;
        ControllerState& s = state;
        if (k == "FWFILTER") {
            r.Add({FilterDigit(s.currentFilter)});
        } else if (k == "FWCOUNT") {
            r.Add({static_cast<std::uint8_t>('0' + FilterCount())});
        } else if (k == "FWHOME") {
            // A full turn to the home mark, then the acknowledgement alone: the host takes the
            // first byte it sees as the answer.
            r.Add({kAck}, SlotTime() * std::max(FilterCount(), 1));
            r.commit = [](ControllerState& st) { st.currentFilter = 0; };
        } else if (k == "FWGOTO") {
            HandleGoto(a[0] - '0', &r);
        } else if (k == "FWWRITENAME") {
            int slot = a[0] - '0';
            if (slot < 0 || slot >= kFilterSlots) {
                r.Add({kRefused});
            } else {
                std::vector<std::uint8_t> name(a.begin() + 1, a.end());
                r.commit = [slot, name](ControllerState& st) {
                    std::copy(name.begin(), name.end(),
                              st.image.begin() + offset::kFilterNames + slot * kNameLength);
                };
                r.Add({kAck});
            }
        } else if (k == "FWfocus") {
            r.Add(Le16(s.focuserPosition));
        } else if (k == "FWdirFocus") {
            r.Add({static_cast<std::uint8_t>(s.direction < 0 ? '-' : '+')});
        } else if (k == "FWgoFocus") {
            HandleFocusMove(static_cast<std::int16_t>(a[0] | (a[1] << 8)), &r);
        } else if (k == "FWsetFocus") {
            int position = static_cast<std::int16_t>(a[0] | (a[1] << 8));
            r.commit = [position](ControllerState& st) { st.focuserPosition = position; };
            r.Add({kAck});
        } else if (k == "FWmoveFocus") {
            // Only the controller sends this frame; a host that echoes it gets no answer.
        } else if (k == "FWtemperature") {
            r.Add(Le16(TemperatureLocked(a[0] - '0')));
        } else if (k == "FWisAuto") {
            r.Add({FilterDigit(s.compensationThermometer)});
        } else if (k == "FWautoCompSet") {
            int sel = a[0] - '0';
            if (sel == -1 || (sel >= 0 && sel < std::min(ThermometerCount(), kMaxThermometers))) {
                r.commit = [sel](ControllerState& st) { st.compensationThermometer = sel; };
                r.Add({kAck});
            } else {
                r.Add({kRefused});  // no such thermometer
            }
        } else if (k == "FWubStep") {
            r.Add({s.image[offset::kFocuserStepMicrosteps], kLargestStepDivisor});
        } else if (k == "FWzm") {
            std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(s.microstepTable.size())};
            bytes.insert(bytes.end(), s.microstepTable.begin(), s.microstepTable.end());
            r.Add(std::move(bytes));
        } else if (k == "FWym") {
            std::vector<std::uint8_t> table = a;
            r.commit = [table](ControllerState& st) { st.microstepTable = table; };
            r.Add({kAck});
        } else if (k == "FWreadEE") {
            std::size_t from = std::min<std::size_t>(a[0], kImageSize);
            std::size_t to = std::min<std::size_t>(from + a[1], kImageSize);
            r.Add({s.image.begin() + from, s.image.begin() + to});
        } else if (k == "FWwriteEE") {
            HandleWriteEE(a, &r);
        }
        return r;
    }

    void HandleGoto(int target, Reply* r) {
        const int count = FilterCount();
        if (TakeFaultLocked(FaultKind::kGotoFail, "FWGOTO")) {
            r->Add({kNoFilter});
            r->commit = [](ControllerState& st) { st.currentFilter = -1; };
            return;
        }
        if (target < 0 || target >= count) {
            r->Add({kNoFilter});  // no such slot: the wheel stays where it is
            return;
        }
        const Clock::duration slot = SlotTime();
        int from = state.currentFilter;
        Clock::duration homing{};
        if (from < 0) {
            // Lost: a full turn to the home mark first, then forward from slot 0.
            homing = slot * count;
            from = 0;
        }
        int forward = (target - from + count) % count;
        int backward = (from - target + count) % count;
        int step = forward <= backward ? 1 : -1;
        int travel = std::min(forward, backward);
        for (int i = 1; i < travel; ++i) {
            // One progress byte per slot passed: the digit of that slot.
            int passed = ((from + step * i) % count + count) % count;
            r->Add({FilterDigit(passed)}, (i == 1 ? homing : Clock::duration{}) + slot);
        }
        Clock::duration last = travel > 0 ? slot : Clock::duration{};
        if (travel <= 1) last += homing;
        const int focus = ReadI16(state.image, offset::kFilterFocuserPositions + 2 * target);
        const bool frame = options.focusFrame && !options.wheelOnly && focus <= kNoFocusShift;
        if (frame) {
            // The controller tells the host that it moves the focuser to this filter's focus.
            std::vector<std::uint8_t> bytes{'F', 'W', 'm', 'o', 'v', 'e', 'F', 'o', 'c', 'u', 's'};
            auto position = Le16(focus);
            bytes.insert(bytes.end(), position.begin(), position.end());
            r->Add(std::move(bytes), last);
            last = {};
        }
        r->Add({FilterDigit(target)}, last);
        r->commit = [target, frame, focus](ControllerState& st) {
            st.currentFilter = target;
            if (frame && focus != st.focuserPosition) {
                st.direction = focus > st.focuserPosition ? 1 : -1;
                st.focuserPosition = focus;
            }
        };
    }

    void HandleFocusMove(int target, Reply* r) {
        int speed = ReadU16(state.image, offset::kFocuserSpeed);
        if (speed == 0) speed = kSlowestSpeed;
        int distance = std::abs(target - state.focuserPosition);
        int direction = target == state.focuserPosition ? state.direction
                                                        : (target > state.focuserPosition ? 1 : -1);
        if (direction != state.direction)
            distance += ReadU16(state.image, offset::kFocuserBacklash);  // take up the slack
        r->Add({kAck}, std::chrono::microseconds(1000000LL * distance / speed));
        r->commit = [target, direction](ControllerState& st) {
            st.focuserPosition = target;
            st.direction = direction;
        };
    }

    void HandleWriteEE(const std::vector<std::uint8_t>& a, Reply* r) {
        const std::size_t from = a[0];
        const std::size_t length = a[1];
        if (TakeFaultLocked(FaultKind::kWriteEENak, "FWwriteEE") || from + length > kImageSize) {
            r->Add({kRefused});
            return;
        }
        std::vector<std::uint8_t> data(a.begin() + 2, a.end());
        r->commit = [from, data](ControllerState& st) {
            std::copy(data.begin(), data.end(), st.image.begin() + from);
            const int count = st.image[offset::kFilterCount];
            if (st.currentFilter >= count) st.currentFilter = -1;
        };
        r->Add({kAck});
    }

    // TakeFault for use inside Handle, where mu is already held.
    bool TakeFaultLocked(FaultKind kind, std::string_view keyword) {
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->kind != kind || (!it->keyword.empty() && it->keyword != keyword)) continue;
            if (it->times != kUnlimited && --it->times <= 0) faults.erase(it);
            return true;
        }
        return false;
    }

    std::size_t ArgumentCount(const std::string& keyword) {
        if (keyword == "FWGOTO" || keyword == "FWtemperature" || keyword == "FWautoCompSet" ||
            keyword == "FWubStep")
            return 1;
        if (keyword == "FWgoFocus" || keyword == "FWsetFocus" || keyword == "FWmoveFocus" ||
            keyword == "FWreadEE" || keyword == "FWwriteEE")
            return 2;
        if (keyword == "FWWRITENAME") return 1 + kNameLength;
        if (keyword == "FWym") {
            std::lock_guard lock(mu);
            return state.microstepTable.size();
        }
        return 0;
    }

    void Dispatch(const std::string& keyword) {
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
        const Mechanism mechanism = MechanismOf(keyword);
        const bool absent = (mechanism == Mechanism::kWheel && options.focuserOnly) ||
                            (mechanism == Mechanism::kFocuser && options.wheelOnly);
        if (absent || TakeFault(FaultKind::kSilent, keyword)) {
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

    // Applies the reply's state change once.
    void Commit(Reply& reply) {
        if (!reply.commit) return;
        std::lock_guard lock(mu);
        reply.commit(state);
        reply.commit = nullptr;
    }

    void Finish() {
        std::lock_guard lock(mu);
        ++handled;
        handledCv.notify_all();
    }

    void SaveIfChanged() {
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

    void Serve() {
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
};

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
    ::close(slave);
    int wake[2];
    if (path.empty() || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(master);
        return fail("cannot set up the pseudo-terminal");
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    m.watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m.watch >= 0 && ::inotify_add_watch(m.watch, path.c_str(), IN_OPEN) < 0) {
        ::close(m.watch);
        m.watch = -1;
    }
    m.master = master;
    m.wakeRead = wake[0];
    m.wakeWrite = wake[1];
    m.slaveClosed = true;
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
    for (int* fd : {&m.master, &m.wakeRead, &m.wakeWrite, &m.watch}) {
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
