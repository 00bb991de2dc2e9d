// SPDX-License-Identifier: GPL-3.0-or-later
// Faults injected into the replies: which ones hit a command, and sending a reply shaped by
// them (dropped, cut short, led by a garbage byte, paused between bytes, hung up halfway).
#include "sim/EmulatorImpl.h"

namespace kavri::sim {

std::optional<Fault> Emulator::Impl::TakeFault(FaultKind kind, std::string_view keyword) {
    std::lock_guard lock(mu);
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->kind != kind || (!it->keyword.empty() && it->keyword != keyword)) continue;
        Fault hit = *it;
        if (it->times != kUnlimited && --it->times <= 0) faults.erase(it);
        return hit;
    }
    return std::nullopt;
}

Shaping Emulator::Impl::ShapingFor(std::string_view keyword) {
    Shaping s;
    s.drop = TakeFault(FaultKind::kDrop, keyword).has_value();
    s.cut = TakeFault(FaultKind::kShort, keyword).has_value();
    if (auto f = TakeFault(FaultKind::kGarbage, keyword)) s.garbage = f->garbage;
    if (auto f = TakeFault(FaultKind::kPause, keyword)) s.pauseMs = f->pauseMs;
    s.hangUp = TakeFault(FaultKind::kHangUp, keyword).has_value();
    return s;
}

bool Emulator::Impl::Emit(Reply& reply, const Shaping& shaping) {
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

bool Emulator::Impl::TakeFaultLocked(FaultKind kind, std::string_view keyword) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->kind != kind || (!it->keyword.empty() && it->keyword != keyword)) continue;
        if (it->times != kUnlimited && --it->times <= 0) faults.erase(it);
        return true;
    }
    return false;
}

}  // namespace kavri::sim
