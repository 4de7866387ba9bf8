#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include "support/gtk_fake_watcher.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";

struct ExportedEntry {
  int dbusId;
  std::string line;  // "Next" / "---" / "Shuffle (disabled)"
};

class GtkStatusItem : public GtkDesktopTest {
 protected:
  void SetUp() override {
    GtkDesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    watcher = std::make_unique<FakeStatusWatcher>();
    ASSERT_TRUE(iterateUntil([&] { return watcher->ready(); }));
    model.number = 0;
    model.entries = {entry(2, "Next", "media-skip-forward"), separator(),
                     entry(5, "Shuffle", "", false), entry(14, "Quit")};
  }

  void TearDown() override {
    desktop.reset();
    watcher.reset();
  }

  static MenuEntry entry(std::int64_t id, const char* text, const char* icon = "",
                         bool enabled = true) {
    MenuEntry e;
    e.id = id;
    e.text = T(text);
    e.iconName = icon;
    e.enabled = enabled;
    return e;
  }
  static MenuEntry separator() {
    MenuEntry e;
    e.separator = true;
    return e;
  }

  // The item's address from its latest registration with the watcher.
  bool registered(std::size_t count = 1) {
    return iterateUntil([&] { return watcher->registrations().size() >= count; });
  }
  const FakeStatusWatcher::Registration& item() { return watcher->registrations().back(); }

  std::string stringProperty(const char* name) {
    GVariant* v = watcher->property(item().busName, item().objectPath, kItemInterface, name);
    std::string s = v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING)
                        ? g_variant_get_string(v, nullptr)
                        : std::string("<none>");
    if (v) g_variant_unref(v);
    return s;
  }

  std::string menuPath() {
    GVariant* v = watcher->property(item().busName, item().objectPath, kItemInterface, "Menu");
    std::string s = v && g_variant_is_of_type(v, G_VARIANT_TYPE_OBJECT_PATH)
                        ? g_variant_get_string(v, nullptr)
                        : std::string();
    if (v) g_variant_unref(v);
    return s;
  }

  std::vector<ExportedEntry> layout() {
    std::vector<ExportedEntry> out;
    GVariant* reply = watcher->call(item().busName, menuPath(), kMenuInterface, "GetLayout",
                                    g_variant_new("(ii@as)", 0, -1,
                                                  g_variant_new_strv(nullptr, 0)));
    if (!reply) return out;
    guint revision = 0;
    GVariant* root = nullptr;
    g_variant_get(reply, "(u@(ia{sv}av))", &revision, &root);
    GVariant* children = g_variant_get_child_value(root, 2);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
      GVariant* boxed = g_variant_get_child_value(children, i);
      GVariant* child = g_variant_get_variant(boxed);
      gint32 id = 0;
      GVariant* props = nullptr;
      g_variant_get_child(child, 0, "i", &id);
      props = g_variant_get_child_value(child, 1);
      GVariantDict dict;
      g_variant_dict_init(&dict, props);
      const gchar* type = nullptr;
      const gchar* label = nullptr;
      gboolean enabled = TRUE, visible = TRUE;
      g_variant_dict_lookup(&dict, "type", "&s", &type);
      g_variant_dict_lookup(&dict, "label", "&s", &label);
      g_variant_dict_lookup(&dict, "enabled", "b", &enabled);
      g_variant_dict_lookup(&dict, "visible", "b", &visible);
      std::string line = g_strcmp0(type, "separator") == 0 ? "---" : (label ? label : "");
      if (!enabled) line += " (disabled)";
      if (visible) out.push_back({id, line});
      g_variant_dict_clear(&dict);
      g_variant_unref(props);
      g_variant_unref(child);
      g_variant_unref(boxed);
    }
    g_variant_unref(children);
    g_variant_unref(root);
    g_variant_unref(reply);
    return out;
  }

  std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const auto& e : layout()) out.push_back(e.line);
    return out;
  }

  int dbusIdOf(const std::string& line) {
    for (const auto& e : layout())
      if (e.line == line) return e.dbusId;
    return -1;
  }

  void click(int dbusId) {
    GVariant* reply = watcher->call(
        item().busName, menuPath(), kMenuInterface, "Event",
        g_variant_new("(isvu)", dbusId, "clicked", g_variant_new_int32(0), 0u));
    if (reply) g_variant_unref(reply);
  }

  std::unique_ptr<FakeStatusWatcher> watcher;
  MenuModel model;
};

TEST_F(GtkStatusItem, ExportsTitleToolTipAndTheMenuAsTheModelHasIt) {
  desktop->createStatusItem();
  desktop->setStatusMenu(&model);
  desktop->setStatusTitle(u"Song \u2013 Artist");
  desktop->setStatusToolTip(u"Song by Artist");
  ASSERT_TRUE(registered());
  EXPECT_TRUE(desktop->hasStatusItem());
  EXPECT_EQ(stringProperty("XAyatanaLabel"), "Song \xE2\x80\x93 Artist");
  EXPECT_EQ(stringProperty("Title"), "Song by Artist");
  EXPECT_EQ(stringProperty("Status"), "Active");
  std::vector<std::string> expected = {"Next", "---", "Shuffle (disabled)", "Quit"};
  EXPECT_TRUE(iterateUntil([&] { return lines() == expected; }))
      << ::testing::PrintToString(lines());
}

TEST_F(GtkStatusItem, ClicksOnEnabledEntriesBecomeMenuEventsAndDisabledOnesDoNothing) {
  desktop->createStatusItem();
  desktop->setStatusMenu(&model);
  ASSERT_TRUE(registered());
  ASSERT_TRUE(iterateUntil([&] { return dbusIdOf("Quit") >= 0; }));

  // The disabled entry is clicked first: the first menu event must be Quit's.
  click(dbusIdOf("Shuffle (disabled)"));
  click(dbusIdOf("Quit"));
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), 14);

  model.find(5)->enabled = true;
  desktop->menuItemEnabledChanged(model, 5);
  ASSERT_TRUE(iterateUntil([&] { return dbusIdOf("Shuffle") >= 0; }));
  click(dbusIdOf("Shuffle"));
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), 5);
}

TEST_F(GtkStatusItem, RebuiltItemKeepsItsBusNameAndShowsTheNewMenu) {
  desktop->createStatusItem();
  desktop->setStatusMenu(&model);
  ASSERT_TRUE(registered(1));
  std::string firstName = item().busName;

  desktop->menuFreed(model);
  desktop->removeStatusItem();
  EXPECT_FALSE(desktop->hasStatusItem());
  MenuModel next;
  next.entries = {entry(3, "Repeat"), entry(14, "Quit")};
  desktop->createStatusItem();
  desktop->setStatusMenu(&next);
  desktop->setStatusTitle(u"Other");
  ASSERT_TRUE(registered(2));
  EXPECT_EQ(item().busName, firstName);
  EXPECT_EQ(stringProperty("XAyatanaLabel"), "Other");
  std::vector<std::string> expected = {"Repeat", "Quit"};
  EXPECT_TRUE(iterateUntil([&] { return lines() == expected; }))
      << ::testing::PrintToString(lines());
}

TEST_F(GtkStatusItem, ImagesBecomeIconFilesUnderNewNames) {
  Image red;
  red.width = red.height = 32;
  red.pointWidth = red.pointHeight = 16;
  red.rgba.assign(32 * 32 * 4, 0);
  for (std::size_t i = 0; i < red.rgba.size(); i += 4) red.rgba[i] = red.rgba[i + 3] = 255;
  desktop->createStatusItem();
  desktop->setStatusMenu(&model);
  desktop->setStatusImage(&red, false);
  ASSERT_TRUE(registered());
  std::string themePath = stringProperty("IconThemePath");
  std::string first = stringProperty("IconName");
  desktop->setStatusImage(&red, false);
  std::string second = stringProperty("IconName");
  EXPECT_NE(first, second);
  std::string file = themePath + "/" + second + ".png";
  GdkPixbuf* shown = gdk_pixbuf_new_from_file(file.c_str(), nullptr);
  ASSERT_TRUE(shown) << file;
  EXPECT_EQ(gdk_pixbuf_get_width(shown), 16);  // written at its display size
  g_object_unref(shown);
  EXPECT_FALSE(g_file_test((themePath + "/" + first + ".png").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
}  // namespace larkspur::test
