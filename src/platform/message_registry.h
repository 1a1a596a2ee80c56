// Registered message names and the table that turns each name into a message number.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

// The names under which the program's cross-thread messages are registered. Both sides of a
// conversation register the same string and so get the same number.
inline constexpr const char* kUpmProcessHandleName =
    "UPM_PROCESS_HANDLE-{D741F7E2-9F58-11d5-A043-006067718D04}";
inline constexpr const char* kUpmLineName = "UPM_LINE-{D741F7E1-9F58-11d5-A043-006067718D04}";
inline constexpr const char* kUpmFinishedName =
    "UPM_FINISHED-{D741F7E0-9F58-11d5-A043-006067718D04}";
inline constexpr const char* kUpmPulldownLineName =
    "UPM_PULLDOWN_LINE-{A1B6A053-472D-40ba-B1C4-C5042365D2D4}";
inline constexpr const char* kUpmPulldownUpdateName =
    "UPM_PULLDOWN_UPDATE-{963CEBEC-DD2B-4cf8-B8A1-D771AAB9B92F}";
// WPARAM of a pulldown update: 0 carries the pictures processed so far, this one the number of
// pictures of the pass's source (posted once, before the first count).
inline constexpr uint64_t kPulldownUpdateTotal = 1;
inline constexpr const char* kUpmPulldownFinishedName =
    "UPM_PULLDOWN_FINISHED-{F68A58C2-359B-4f85-B0F0-B59EC0BE0EBB}";
inline constexpr const char* kUpmTrayNotifyName =
    "UPM_TRAY_NOTIFY-{840A2ECA-26CC-4634-9281-85C7D2E2C2F6}";

// Numbers handed out by a registry start here, clear of any fixed message numbers a
// program may use below it.
inline constexpr uint32_t kFirstRegisteredMessage = 0xC000;

// Maps message names to numbers. Names compare without regard to ASCII letter case; the same
// name always yields the same number, different names different numbers. Thread-safe.
class MessageRegistry {
public:
    // Returns the number of `name`, registering it on first use; 0 for the empty name.
    uint32_t Register(std::string_view name);
    // The number of an already registered name, or 0.
    uint32_t Find(std::string_view name) const;
    // The name registered under `number`, or the empty string.
    std::string NameOf(uint32_t number) const;

private:
    static std::string Fold(std::string_view name);

    mutable std::mutex m_Mutex;
    std::map<std::string, uint32_t> m_Numbers; // folded name -> number
    std::map<uint32_t, std::string> m_Names;   // number -> name as first registered
    uint32_t m_Next = kFirstRegisteredMessage;
};

} // namespace platform
