#include "ui/placement_store.h"

#include <algorithm>

namespace zephron::ui {

namespace {

bool KeepsLeftTop(int align) { return align != alTop && align != alBottom && align != alClient; }
bool KeepsSize(int align) { return align != alLeft && align != alRight && align != alClient; }

}  // namespace

PlaceRect KeepOnScreen(const PlaceRect& rect, const std::vector<PlaceRect>& areas) {
  for (const PlaceRect& area : areas) {
    const bool overlaps = rect.left < area.right && area.left < rect.right && rect.top < area.bottom &&
                          area.top < rect.bottom;
    if (overlaps) return rect;
  }
  if (areas.empty()) return rect;
  // A window nobody can reach cannot be moved back by its user.
  const PlaceRect& primary = areas.front();
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int left = primary.left + std::max(0, (primary.right - primary.left - width) / 2);
  const int top = primary.top + std::max(0, (primary.bottom - primary.top - height) / 2);
  return PlaceRect{left, top, left + width, top + height};
}

void StoreWindowPos(TxmlNode& node, const PlacedWindow* form, const std::string& FormName) {
  if (form == nullptr) return;
  TxmlNode* element = node.NodeByName(FormName.empty() ? form->Name() : FormName, true);
  const PlaceRect rect = form->NormalRect();
  element->WriteInt("Left", rect.left);
  element->WriteInt("Top", rect.top);
  element->WriteInt("Width", rect.right - rect.left);
  element->WriteInt("Height", rect.bottom - rect.top);
  element->WriteBool("Maximized", form->Maximized());
  element->WriteInt("BorderStyle", form->BorderStyle());
  element->WriteBool("Showing", form->Showing());
}

void RestoreWindowPos(TxmlNode& node, PlacedWindow* form, bool UpdateShowing, const std::string& FormName) {
  if (form == nullptr) return;
  TxmlNode* element = node.NodeByName(FormName.empty() ? form->Name() : FormName, false);
  if (element == nullptr) return;
  PlaceRect rect;
  rect.left = element->SubNodeIntValue("Left");
  rect.top = element->SubNodeIntValue("Top");
  rect.right = rect.left + element->SubNodeIntValue("Width");
  rect.bottom = rect.top + element->SubNodeIntValue("Height");
  const bool show = UpdateShowing && element->SubNodeBoolValue("Showing");
  form->SetNormalRect(KeepOnScreen(rect, form->ScreenAreas()));
  if (UpdateShowing && !show) form->SetShowing(false);
  if (element->SubNodeBoolValue("Maximized")) form->Maximize();
  form->SetBorderStyle(element->SubNodeIntValue("BorderStyle"));
  if (show) form->SetShowing(true);
}

void StoreWindowPos(TxmlNode& node, std::span<PlacedWindow* const> forms) {
  for (PlacedWindow* form : forms) StoreWindowPos(node, form);
}

void RestoreWindowPos(TxmlNode& node, std::span<PlacedWindow* const> forms, bool UpdateShowing) {
  for (PlacedWindow* form : forms) RestoreWindowPos(node, form, UpdateShowing);
}

void StoreListView(TxmlNode& node, const PlacedListView& view) {
  TxmlNode* element = node.NodeByPath(view.FormName() + "_" + view.Name(), true);
  StoreControlPosition(*element, view);
  TxmlNode* widths = element->NodeByName("Column_widths", true);
  widths->Clear();
  for (int i = 0; i < view.ColumnCount(); ++i) widths->CreateSubNode("Item", view.ColumnWidth(i));
}

void RestoreListView(TxmlNode& node, PlacedListView& view) {
  TxmlNode* element = node.NodeByPath(view.FormName() + "_" + view.Name(), false);
  if (element == nullptr) return;
  RestoreControlPosition(*element, view);
  TxmlNode* widths = element->NodeByName("Column_widths", true);
  for (int i = 0; i < view.ColumnCount(); ++i) {
    view.SetColumnAutoSize(i, false);
    if (i < widths->Count()) view.SetColumnWidth(i, widths->Items(i)->IntValue());
  }
}

void StoreListViews(TxmlNode& node, std::span<PlacedListView* const> views) {
  for (PlacedListView* view : views) {
    if (view != nullptr) StoreListView(node, *view);
  }
}

void RestoreListViews(TxmlNode& node, std::span<PlacedListView* const> views) {
  for (PlacedListView* view : views) {
    if (view != nullptr) RestoreListView(node, *view);
  }
}

void StoreControlPosition(TxmlNode& node, const PlacedControl& control) {
  TxmlNode* position = node.NodeByName("Position", true);
  position->Clear();
  const int align = control.Align();
  if (KeepsLeftTop(align)) {
    position->WriteInt("Left", control.Left());
    position->WriteInt("Top", control.Top());
  }
  if (KeepsSize(align)) {
    position->WriteInt("Width", control.Width());
    position->WriteInt("Height", control.Height());
  }
  position->WriteInt("Align", align);
}

void RestoreControlPosition(TxmlNode& node, PlacedControl& control) {
  TxmlNode* position = node.NodeByName("Position", false);
  if (position == nullptr) return;
  control.SetAlign(position->NodeByName("Align", true)->IntValue());
  const int align = control.Align();
  if (KeepsLeftTop(align)) {
    control.SetLeft(position->NodeByName("Left", true)->IntValue());
    control.SetTop(position->NodeByName("Top", true)->IntValue());
  }
  if (KeepsSize(align)) {
    control.SetWidth(position->NodeByName("Width", true)->IntValue());
    control.SetHeight(position->NodeByName("Height", true)->IntValue());
  }
}

}  // namespace zephron::ui
