// Window, list-view and control positions kept in an XML element, so a
// window opens where the user left it.
//
// A window is kept in the child named after it (or FormName): "Left", "Top",
// "Width", "Height", "Maximized", "BorderStyle", "Showing". A list view in
// "<form>_<list view>" with its control position and "Column_widths", one
// "Item" per column. A control in "Position": "Left", "Top", "Width",
// "Height", "Align", where top, bottom and client alignment keep no left and
// top, and left, right and client alignment no width and height.
#pragma once

#include <span>
#include <string>

#include "ui/placement.h"
#include "xml/xml_node.h"

namespace zephron::ui {

// Nothing for no window.
void StoreWindowPos(TxmlNode& node, const PlacedWindow* form, const std::string& FormName = "");
// Nothing for no window or without its element. A rectangle that lies
// entirely off every screen is moved onto the primary screen. With
// UpdateShowing the window is shown or hidden as stored; without it its
// showing is left alone.
void RestoreWindowPos(TxmlNode& node, PlacedWindow* form, bool UpdateShowing, const std::string& FormName = "");
void StoreWindowPos(TxmlNode& node, std::span<PlacedWindow* const> forms);
void RestoreWindowPos(TxmlNode& node, std::span<PlacedWindow* const> forms, bool UpdateShowing);

void StoreListView(TxmlNode& node, const PlacedListView& view);
void RestoreListView(TxmlNode& node, PlacedListView& view);
void StoreListViews(TxmlNode& node, std::span<PlacedListView* const> views);
void RestoreListViews(TxmlNode& node, std::span<PlacedListView* const> views);

void StoreControlPosition(TxmlNode& node, const PlacedControl& control);
void RestoreControlPosition(TxmlNode& node, PlacedControl& control);

// Fonts are not kept; these exist for the callers that pair them with the others.
inline void StoreFont(TxmlNode&, const PlacedControl&) {}
inline void RestoreFont(TxmlNode&, PlacedControl&) {}

// The rectangle itself when it overlaps a screen area; otherwise the same
// size centred on the first (primary) area, its top-left corner kept on it.
PlaceRect KeepOnScreen(const PlaceRect& rect, const std::vector<PlaceRect>& areas);

}  // namespace zephron::ui
