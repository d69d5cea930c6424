// Window, list view and control positions kept in XML, on real widgets, and
// the updater window reopening where it was closed.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/window_place.h"
#include "ui/placement_store.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_placement.h"
#include "xml/xml.h"

namespace zephron::test {
namespace {

class PlacementTest : public ::testing::Test {
 protected:
  TxmlDocument doc;
  TxmlNode& root = *doc.Root();
};

TEST_F(PlacementTest, WindowStoredMovedAndRestored) {
  QWidget form;
  form.setObjectName("formTest");
  form.setGeometry(100, 120, 300, 200);
  form.show();
  ui::qt::QtPlacedWindow placed(form);
  ui::StoreWindowPos(root, &placed);
  TxmlNode* element = root.NodeByName("formTest", false);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->SubNodeIntValue("Left"), 100);
  EXPECT_EQ(element->SubNodeIntValue("Width"), 300);
  EXPECT_EQ(element->SubNodeValue("Maximized"), "false");
  EXPECT_EQ(element->SubNodeIntValue("BorderStyle"), ui::bsSizeable);
  EXPECT_EQ(element->SubNodeValue("Showing"), "true");

  form.setGeometry(10, 10, 150, 90);
  form.hide();
  ui::RestoreWindowPos(root, &placed, true);
  EXPECT_EQ(form.geometry(), QRect(100, 120, 300, 200));
  EXPECT_TRUE(form.isVisible());

  // Without UpdateShowing the window's showing stays as it is, even when
  // the file says it was hidden.
  element->WriteBool("Showing", false);
  ui::RestoreWindowPos(root, &placed, false);
  EXPECT_TRUE(form.isVisible());
  ui::RestoreWindowPos(root, &placed, true);
  EXPECT_FALSE(form.isVisible());

  // A place on no screen is brought onto the primary one, size kept.
  element->WriteInt("Left", -5000);
  element->WriteInt("Top", 20000);
  ui::RestoreWindowPos(root, &placed, false, "formTest");
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.intersects(form.geometry())) << form.geometry().x() << "," << form.geometry().y();
  EXPECT_EQ(form.size(), QSize(300, 200));
}

TEST_F(PlacementTest, ListViewColumnWidthsAndControlPositions) {
  QWidget form;
  form.setObjectName("formFiles");
  auto* list = new QTreeWidget(&form);
  list->setObjectName("lvFiles");
  list->setColumnCount(3);
  list->setGeometry(5, 6, 300, 100);
  list->setColumnWidth(0, 50);
  list->setColumnWidth(1, 80);
  ui::qt::QtPlacedListView view(*list);
  ui::StoreListView(root, view);
  TxmlNode* widths = root.NodeByPath("formFiles_lvFiles/Column_widths", false);
  ASSERT_NE(widths, nullptr);
  ASSERT_EQ(widths->Count(), 3);
  EXPECT_EQ(widths->Items(1)->Value(), "80");
  EXPECT_EQ(root.NodeByPath("formFiles_lvFiles/Position/Top", false)->Value(), "6");

  list->setColumnWidth(0, 10);
  list->setColumnWidth(1, 10);
  list->setGeometry(0, 0, 50, 50);
  widths->Items(2)->SetIntValue(140);
  ui::RestoreListView(root, view);
  EXPECT_EQ(list->columnWidth(0), 50);
  EXPECT_EQ(list->columnWidth(1), 80);
  EXPECT_EQ(list->columnWidth(2), 140);  // the stretched last column gave up its automatic width
  EXPECT_EQ(list->geometry(), QRect(5, 6, 300, 100));

  // A client-aligned control keeps neither place nor size; a position
  // without "Align" restores as unaligned and gains an empty "Align".
  auto* control = new QWidget(&form);
  control->setGeometry(1, 2, 30, 40);
  ui::qt::QtPlacedControl placed(*control);
  placed.SetAlign(ui::alClient);
  TxmlNode* c = root.CreateSubNode("Control", "");
  ui::StoreControlPosition(*c, placed);
  TxmlNode* position = c->NodeByName("Position", false);
  EXPECT_EQ(position->Count(), 1);
  EXPECT_EQ(position->SubNodeValue("Align"), "5");
  position->Clear();
  position->WriteInt("Left", 7);
  ui::RestoreControlPosition(*c, placed);
  EXPECT_EQ(placed.Align(), ui::alNone);
  ASSERT_NE(position->NodeByName("Align", false), nullptr);
  EXPECT_EQ(position->SubNodeValue("Align"), "");
  EXPECT_EQ(control->geometry(), QRect(7, 0, 0, 0));
}

TEST_F(PlacementTest, UpdaterWindowReopensWhereItWasClosed) {
  const auto folder = std::filesystem::path(::testing::TempDir()) / "placement_test_appdata";
  std::filesystem::remove_all(folder);
  const std::string file = WindowPlaceFileFor(folder.string());
  EXPECT_EQ(file, (folder / "Corvexis/zephron_window.xml").string());

  ui::qt::QtMainWindow window;
  ui::qt::QtPlacedWindow placed(window);
  EXPECT_FALSE(RestoreWindowPlace(placed, file));  // no file yet
  window.move(40, 50);
  ASSERT_TRUE(StoreWindowPlace(placed, file));
  window.move(200, 100);
  ASSERT_TRUE(RestoreWindowPlace(placed, file));
  EXPECT_EQ(window.pos(), QPoint(40, 50));
  EXPECT_EQ(window.size(), QSize(ui::qt::QtMainWindow::kClientWidth, ui::qt::QtMainWindow::kClientHeight));

  for (const char* damaged : {"<Zephron><formMain><Left>1.5</Left></formMain></Zephron>", "<Zephron><formMain>",
                              "\x1F\x1F\x1F\x1F garbage"}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
    window.move(200, 100);
    EXPECT_FALSE(RestoreWindowPlace(placed, file)) << damaged;
    EXPECT_EQ(window.pos(), QPoint(200, 100)) << damaged;
  }
  // A damaged file is replaced on closing.
  EXPECT_TRUE(StoreWindowPlace(placed, file));
  EXPECT_TRUE(RestoreWindowPlace(placed, file));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zephron::test
