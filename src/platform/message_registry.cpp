// Registered message names: one number per name, case-insensitively.
#include "platform/message_registry.h"

namespace platform {

std::string MessageRegistry::Fold(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

uint32_t MessageRegistry::Register(std::string_view name) {
    if (name.empty()) {
        return 0;
    }
    std::string folded = Fold(name);
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Numbers.find(folded);
    if (it != m_Numbers.end()) {
        return it->second;
    }
    uint32_t number = m_Next++;
    m_Numbers.emplace(std::move(folded), number);
    m_Names.emplace(number, std::string(name));
    return number;
}

uint32_t MessageRegistry::Find(std::string_view name) const {
    std::string folded = Fold(name);
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Numbers.find(folded);
    return it == m_Numbers.end() ? 0 : it->second;
}

std::string MessageRegistry::NameOf(uint32_t number) const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Names.find(number);
    return it == m_Names.end() ? std::string() : it->second;
}

} // namespace platform
