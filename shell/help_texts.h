#pragma once

#include <string_view>

namespace plimbrook::help {

// The maker's home page: the about box's link label and picture, and "Goto Wexmoor-Soft".
// The maker has no site yet, so the name stays under a reserved example domain.
inline constexpr std::string_view kHomePage = "http://wexmoor.example/";

inline constexpr std::string_view kTipsTitle = "Simple Tips";

inline constexpr std::string_view kTipsText =
    "The interface is as simple as you can get, click the button for which you want to do the "
    "according action.\r\n"
    "\r\n"
    "Here's some basic info on the features:\r\n"
    "1. 'Open BBD Comment' -> Loads a comment from an exsisting BBD file to insert in the new "
    "BBD file(s) you create. Text will automatically appear in the comment dialog box when "
    "converting an SRAM to BBD.\r\n"
    "2. 'SRAM -> BBD' -> Self explanatory...converts an *.SRM emulator save file to the Super "
    "Wild Card standard *.BBD file to use with the copier.  When selected a dialog box appears "
    "allowing you to specify a comment to insert in the BBD file.\r\n"
    "3. 'BBD -> SRAM' -> Converts the Super Wild Card 'Battery Backup Data' file to use with "
    "Emulators.";

// The about box's texts.
inline constexpr std::string_view kAboutTitle = "Super Wild Card Plimbrook";

inline constexpr std::string_view kAboutDescription =
    "This program converts the Super Wild Card 'BBD' (Battery Backup Data) to an SRM (SRAM) file "
    "that most/all emulators can read.";

inline constexpr std::string_view kAboutDisclaimer =
    "Note: I am not responsible for anything you do.";

inline constexpr std::string_view kHomePagePictureTip = "Open homepage.";
inline constexpr std::string_view kHomePageLinkTip = "Visit the Wexmoor-Soft Homepage.";

// The main window's credit line, under the comment box.
inline constexpr std::string_view kCreditLine = "\u00a9 2026 Wexmoor-Soft";

}  // namespace plimbrook::help
