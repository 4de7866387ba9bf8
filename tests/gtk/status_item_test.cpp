#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include "support/gtk_fake_watcher.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";

MenuEntry entry(std::int64_t id, const char* text, bool enabled = true, bool separator = false) {
  MenuEntry e;
  e.id = id;
  e.text = T(text);
  e.enabled = enabled;
  e.separator = separator;
  return e;
}

class GtkStatusItem : public GtkDesktopTest {
 protected:
  void SetUp() override {
    GtkDesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    watcher = std::make_unique<FakeStatusWatcher>();
    ASSERT_TRUE(iterateUntil([&] { return watcher->ready(); }));
  }
  void TearDown() override {
    desktop.reset();
    watcher.reset();
  }

  const FakeStatusWatcher::Registration& item() { return watcher->registrations().back(); }

  // A string or object-path property of the item as last registered.
  std::string property(const char* name) {
    GVariant* v = watcher->property(item().busName, item().objectPath, kItemInterface, name);
    std::string s = v ? g_variant_get_string(v, nullptr) : "<none>";
    if (v) g_variant_unref(v);
    return s;
  }

  // The visible top-level entries as (id, "Label" / "---" / "Label (disabled)").
  std::vector<std::pair<int, std::string>> layout() {
    std::vector<std::pair<int, std::string>> out;
    for (const MenuLine& e : watcher->menuLayout(item().busName, property("Menu"))) {
      std::string line = e.separator ? "---" : e.label;
      out.emplace_back(e.id, e.enabled ? line : line + " (disabled)");
    }
    return out;
  }

  bool showsLines(const std::vector<std::string>& expected) {
    return iterateUntil([&] {
      std::vector<std::string> lines;
      for (const auto& e : layout()) lines.push_back(e.second);
      return lines == expected;
    });
  }

  void click(const std::string& line) {
    for (const auto& [id, text] : layout()) {
      if (text != line) continue;
      GVariant* reply = watcher->call(item().busName, property("Menu"), kMenuInterface, "Event",
                                      g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
      if (reply) g_variant_unref(reply);
    }
  }

  std::unique_ptr<FakeStatusWatcher> watcher;
};

TEST_F(GtkStatusItem, ExportsTheModelTakesClicksWritesIconsAndKeepsItsNameWhenRebuilt) {
  MenuModel model;
  model.entries = {entry(2, "Next"), entry(0, "", true, true), entry(5, "Shuffle", false), entry(14, "Quit")};
  Image red;
  red.width = red.height = 32;
  red.pointWidth = red.pointHeight = 16;
  red.rgba.assign(32 * 32 * 4, 255);
  desktop->createStatusItem();
  desktop->setStatusMenu(&model);
  desktop->setStatusTitle(u"Song \u2013 Artist");
  desktop->setStatusToolTip(u"Song by Artist");
  desktop->setStatusImage(&red, false);
  ASSERT_TRUE(iterateUntil([&] { return watcher->registrations().size() >= 1; }));
  std::string busName = item().busName;
  EXPECT_EQ(property("XAyatanaLabel"), "Song \xE2\x80\x93 Artist");
  EXPECT_EQ(property("Title"), "Song by Artist");
  EXPECT_EQ(property("Status"), "Active");
  EXPECT_TRUE(showsLines({"Next", "---", "Shuffle (disabled)", "Quit"}));

  // The disabled entry is clicked first: the first menu event must be Quit's.
  click("Shuffle (disabled)");
  click("Quit");
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), 14);
  model.find(5)->enabled = true;
  desktop->menuItemEnabledChanged(model, 5);
  ASSERT_TRUE(showsLines({"Next", "---", "Shuffle", "Quit"}));
  click("Shuffle");
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), 5);

  // Each image is a new file at its display size; the old one goes.
  std::string dir = property("IconThemePath") + "/", first = property("IconName");
  desktop->setStatusImage(&red, false);
  std::string second = property("IconName");
  EXPECT_NE(first, second);
  GdkPixbuf* shown = gdk_pixbuf_new_from_file((dir + second + ".png").c_str(), nullptr);
  ASSERT_TRUE(shown);
  EXPECT_EQ(gdk_pixbuf_get_width(shown), 16);
  g_object_unref(shown);
  EXPECT_FALSE(g_file_test((dir + first + ".png").c_str(), G_FILE_TEST_EXISTS));

  desktop->menuFreed(model);
  desktop->removeStatusItem();
  EXPECT_FALSE(desktop->hasStatusItem());
  MenuModel next;
  next.entries = {entry(3, "Repeat"), entry(14, "Quit")};
  desktop->createStatusItem();
  desktop->setStatusMenu(&next);
  ASSERT_TRUE(iterateUntil([&] { return watcher->registrations().size() >= 2; }));
  EXPECT_EQ(item().busName, busName);
  EXPECT_TRUE(showsLines({"Repeat", "Quit"}));
}

}  // namespace
}  // namespace larkspur::test
