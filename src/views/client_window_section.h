#pragma once

#include <QString>

#include <array>

namespace tovalit {

// The sections of the main window, in sidebar order.
enum class ClientWindowSection { home, instructions, lexicon, history, settings };

inline constexpr std::array<ClientWindowSection, 5> allClientWindowSections{
    ClientWindowSection::home, ClientWindowSection::instructions, ClientWindowSection::lexicon,
    ClientWindowSection::history, ClientWindowSection::settings};

// "home", "instructions" …; also the section's identifier.
QString rawValue(ClientWindowSection section);
// The sidebar and header title ("主页" …).
QString title(ClientWindowSection section);
// The symbol beside the title in the sidebar.
QString systemImage(ClientWindowSection section);

} // namespace tovalit
