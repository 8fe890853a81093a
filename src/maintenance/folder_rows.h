#pragma once

#include <array>
#include <string_view>

#include "i18n/translate.h"

namespace dpc {

// One folder row of the maintenance dialog and the ticket element it rewrites. Rows are moved in
// this order.
struct FolderRow {
  int number;                // 1..5
  std::string_view element;  // element name in the settings ticket
  std::string_view openTag;  // matched literally, letter case counting
  std::string_view closeTag;
  std::string_view label;  // English caption of the row's label
};

inline constexpr std::array<FolderRow, 5> kFolderRows = {{
    {1, "ReferenceProfiles", "<ReferenceProfiles type=\"string\">", "</ReferenceProfiles>",
     UiText("Reference profile folder:")},
    {2, "PaperProfiles", "<PaperProfiles type=\"string\">", "</PaperProfiles>",
     UiText("Media profile folder:")},
    {3, "Job", "<Job type=\"string\">", "</Job>", UiText("Job folder:")},
    {4, "Print", "<Print type=\"string\">", "</Print>", UiText("Output files:")},
    {5, "Temp", "<Temp type=\"string\">", "</Temp>", UiText("Temporary files:")},
}};

// The media profile row: hidden without "ProfileUpdater.xml", and the only row whose move also
// records the product's install location.
inline constexpr int kMediaProfileRow = 2;

inline constexpr std::string_view kApplicationFolderOpenTag = "<ApplicationFolder type=\"string\">";
inline constexpr std::string_view kApplicationFolderCloseTag = "</ApplicationFolder>";
inline constexpr std::string_view kProductGuidOpenTag = "<productguid type=\"string\">";
inline constexpr std::string_view kProductGuidCloseTag = "</productguid>";

}  // namespace dpc
