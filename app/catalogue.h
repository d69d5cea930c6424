// The fixed suite of five products the updater serves, in the order of every
// pass and of the display.
#pragma once

#include <array>
#include <string_view>

namespace zephron {

struct TProduct {
  std::string_view name;         // registry key under Software\Corvexis\ and the name in messages
  std::string_view panelKey;     // the window's "pan"/"lab" + panelKey components
  std::string_view executable;   // in the installation folder; its version resource is the installed version
  std::string_view displayName;  // the text the row's label starts with
  std::string_view updateFolder; // folder and control-file name at the update location
  std::string_view mutex;        // running-application mutex; empty for none
};

inline constexpr std::array<TProduct, 5> kCatalogue{{
    {"TesselServer", "TesselServer", "TesselServer.exe", "Tessel Server", "tesselserver", "TesselServer"},
    {"Olvane Server", "QuillonOlvaneServer", "VQOlvaneServer.exe", "Olvane Server", "olvane", "QuillonOlvaneServer"},
    {"Vardel Quillon", "VardelQuillon", "Quillon.exe", "Vardel Quillon", "quillon", "VardelQuillon"},
    {"Tendwell", "QuillonTendwell", "Tendwell.exe", "Tendwell", "tendwell", ""},
    {"Zephron", "QuillonZephron", "Zephron.exe", "Zephron", "zephron", "zephron"},
}};

}  // namespace zephron
