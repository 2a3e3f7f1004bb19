#include "PowerOff.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>

namespace vesperkeep {
namespace {

// What logind offers depends on the systemd version, so the request goes down these steps:
// - systemd 257 and later: block inhibitors stop privileged callers too, unless the call carries
//   SD_LOGIND_SKIP_INHIBITORS (0x10) on PowerOffWithFlags.
// - systemd 248 to 256: PowerOffWithFlags answers a flag it does not know, 0x10 among them, with
//   InvalidArgs ("Invalid flags parameter"; systemd 252 of Debian 12 knows only
//   SD_LOGIND_ROOT_CHECK_INHIBITORS 0x01 and SD_LOGIND_KEXEC_REBOOT 0x02). Privileged callers pass
//   over inhibitors there without a flag, so the call is repeated with flags 0.
// - before systemd 248: PowerOffWithFlags is an UnknownMethod; PowerOff(interactive) remains.
// Interaction stays off throughout: nobody sits at an unattended machine to answer polkit.
constexpr std::uint64_t SkipInhibitors = UINT64_C(1) << 4;

// A logind (or a bus) that never answers must not freeze the caller: every request, connecting
// included, counts as refused after this long.
constexpr std::chrono::microseconds RequestTimeout = std::chrono::seconds(5);

constexpr const char* LogindService = "org.freedesktop.login1";
constexpr const char* LogindPath = "/org/freedesktop/login1";
constexpr const char* LogindManager = "org.freedesktop.login1.Manager";

struct TBusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct TMessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct TSlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using TBus = std::unique_ptr<sd_bus, TBusClose>;
using TMessage = std::unique_ptr<sd_bus_message, TMessageUnref>;
using TSlot = std::unique_ptr<sd_bus_slot, TSlotUnref>;

enum class TAnswer { Accepted, InvalidArgs, UnknownMethod, Refused };

int KeepReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    static_cast<TMessage*>(userdata)->reset(sd_bus_message_ref(reply));
    return 0;
}

// sd_bus_call() bounds only the call itself: while the connection is still being set up it waits
// for sd-bus's own timeouts, a minute and more, so the request runs its own loop against one
// deadline that covers connecting too.
TAnswer Ask(sd_bus* bus, sd_bus_message* call) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + RequestTimeout;
    if (sd_bus_message_set_allow_interactive_authorization(call, 0) < 0)
        return TAnswer::Refused;
    TMessage reply;
    sd_bus_slot* pending = nullptr;
    if (sd_bus_call_async(bus, &pending, call, KeepReply, &reply, RequestTimeout.count()) < 0)
        return TAnswer::Refused;
    const TSlot slot(pending);
    while (!reply) {
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0)
            return TAnswer::Refused;
        if (processed > 0)
            continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return TAnswer::Refused;
        const int woken = sd_bus_wait(bus, static_cast<std::uint64_t>(left.count()));
        if (woken < 0 && woken != -EINTR)
            return TAnswer::Refused;
    }
    if (!sd_bus_message_is_method_error(reply.get(), nullptr))
        return TAnswer::Accepted;
    if (sd_bus_message_is_method_error(reply.get(), SD_BUS_ERROR_INVALID_ARGS))
        return TAnswer::InvalidArgs;
    if (sd_bus_message_is_method_error(reply.get(), SD_BUS_ERROR_UNKNOWN_METHOD))
        return TAnswer::UnknownMethod;
    return TAnswer::Refused;
}

TMessage NewCall(sd_bus* bus, const char* method) {
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus, &call, LogindService, LogindPath, LogindManager,
                                       method) < 0)
        return nullptr;
    return TMessage(call);
}

TAnswer AskPowerOffWithFlags(sd_bus* bus, std::uint64_t flags) {
    const TMessage call = NewCall(bus, "PowerOffWithFlags");
    if (!call || sd_bus_message_append(call.get(), "t", flags) < 0)
        return TAnswer::Refused;
    return Ask(bus, call.get());
}

TAnswer AskPowerOff(sd_bus* bus) {
    const TMessage call = NewCall(bus, "PowerOff");
    const int interactive = 0;
    if (!call || sd_bus_message_append(call.get(), "b", interactive) < 0)
        return TAnswer::Refused;
    return Ask(bus, call.get());
}

} // namespace

bool PowerOffComputer(unsigned flags) {
    // Only a power-off is ever asked for: never a reboot, a halt or a kexec.
    if ((flags & ExitWindowsPowerOff) == 0)
        return false;
    // A fresh connection each time: the bus may have gone away and come back since the last
    // check, and an unattended program must not hold on to a dead one.
    sd_bus* opened = nullptr;
    if (sd_bus_open_system(&opened) < 0)
        return false;
    const TBus bus(opened);
    if (sd_bus_set_allow_interactive_authorization(bus.get(), 0) < 0)
        return false;

    const std::uint64_t logindFlags = (flags & ExitWindowsForce) != 0 ? SkipInhibitors : 0;
    TAnswer answer = AskPowerOffWithFlags(bus.get(), logindFlags);
    if (answer == TAnswer::InvalidArgs && logindFlags != 0)
        answer = AskPowerOffWithFlags(bus.get(), 0);
    if (answer == TAnswer::UnknownMethod)
        answer = AskPowerOff(bus.get());
    return answer == TAnswer::Accepted;
}

} // namespace vesperkeep
