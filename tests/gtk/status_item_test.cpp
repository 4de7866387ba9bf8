#include <gio/gio.h>
#include <signal.h>

#include <algorithm>
#include <functional>

#include "support/gtk_fake_watcher.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

MenuEntry entry(std::int64_t id, const char* text, bool enabled = true, bool separator = false) {
  MenuEntry e;
  e.id = id, e.text = T(text), e.enabled = enabled, e.separator = separator;
  return e;
}

Image square(std::uint8_t value) {
  Image img;
  img.width = img.height = 32, img.pointWidth = img.pointHeight = 16;
  img.rgba.assign(32 * 32 * 4, value);
  return img;
}

class GtkStatusItem : public GtkDesktopTest {
 protected:
  void SetUp() override {
    GtkDesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    watcher = std::make_unique<FakeStatusWatcher>();
    ASSERT_TRUE(iterateUntil([&] { return watcher->ready(); }));
    model.entries = {entry(2, "Next"), entry(3, "Previous"), entry(0, "", true, true),
                     entry(5, "Pause_It", false), entry(14, "Quit")};
  }
  void TearDown() override { desktop.reset(), watcher.reset(); }

  // One build as the status menu makes it.
  void build(const MenuModel& menu, const Image* image, const char* title) {
    desktop->setStatusIconFolder(LARKSPUR_SOURCE_RESOURCES);
    desktop->setStatusMouseActions({5, 3, 2});
    desktop->createStatusItem();
    desktop->setStatusImage(image, true);
    desktop->setStatusMenu(&menu);
    desktop->setStatusTitle(fromUtf8(title));
    desktop->setStatusToolTip(u"Raw Name \u2022 Artist");
  }

  const FakeStatusWatcher::Registration& item() { return watcher->registrations().back(); }

  GVariant* property(const char* name) {
    return watcher->property(item().busName, item().objectPath, kItemInterface, name);
  }
  std::string text(const char* name) {  // a string or path property
    g_autoptr(GVariant) v = property(name);
    return v ? g_variant_get_string(v, nullptr) : "<none>";
  }

  std::size_t pixmaps() {
    g_autoptr(GVariant) v = property("IconPixmap");
    return v ? g_variant_n_children(v) : 99;
  }
  void settle(int ms) { iterateUntil([] { return false; }, ms); }

  std::vector<MenuLine> lines() { return watcher->menuLayout(item().busName, text("Menu")); }
  std::string labels() {  // "---" for a separator
    std::string out;
    for (const MenuLine& e : lines()) out += (e.separator ? "---" : e.label + (e.enabled ? "" : " (disabled)")) + "|";
    return out;
  }
  int idOf(const std::string& label) {
    for (const MenuLine& e : lines())
      if (e.label == label) return e.id;
    return -1;
  }

  // A method of the item, or of its menu, as a host calls it; the error
  // text, empty on success.
  std::string itemCall(const char* method, GVariant* args, bool ofMenu = false, FakeStatusWatcher* host = nullptr) {
    std::string error;
    g_autoptr(GVariant) reply = (host ? host : watcher.get())
                                    ->call(item().busName, ofMenu ? text("Menu") : item().objectPath,
                                           ofMenu ? "com.canonical.dbusmenu" : kItemInterface, method, args, &error);
    return error;
  }
  std::string event(int id, const char* name) {
    return itemCall("Event", g_variant_new("(isvu)", id, name, g_variant_new_int32(0), 0u), true);
  }

  // The menu events queued by now, by entry id; the menu library hands
  // clicks on from an idle, so the loop turns a little first.
  std::vector<std::int64_t> choices() {
    std::vector<std::int64_t> ids;
    settle(100);
    while (queue.wait(0) == EventMenu) ids.push_back(queue.currentObject());
    return ids;
  }
  bool registered() {
    return iterateUntil([&] { return !watcher->registrations().empty() && text("Id") == "larkspur"; });
  }

  std::unique_ptr<FakeStatusWatcher> watcher;
  MenuModel model;
};

TEST_F(GtkStatusItem, ShowsTheStateTakesOnlyEnabledClicksAnswersBadCallsWithErrorsAndHoldsTicksWhileOpen) {
  Image icon = square(255);
  build(model, &icon, "Song \u2013 Artist");
  ASSERT_TRUE(registered());
  EXPECT_EQ(text("XAyatanaLabel") + "|" + text("Status"), "Song \xE2\x80\x93 Artist|Active");
  EXPECT_TRUE(g_file_test((text("IconThemePath") + "/" + text("IconName") + ".svg").c_str(), G_FILE_TEST_IS_REGULAR));
  g_autoptr(GVariant) tip = property("ToolTip");
  g_autoptr(GVariant) tipTitle = tip ? g_variant_get_child_value(tip, 2) : nullptr;
  EXPECT_STREQ(tipTitle ? g_variant_get_string(tipTitle, nullptr) : "", "Raw Name \xE2\x80\xA2 Artist");
  EXPECT_EQ(pixmaps(), 1u);

  ASSERT_TRUE(iterateUntil([&] { return labels() == "Next|Previous|---|Pause__It (disabled)|Quit|"; }))
      << labels();
  EXPECT_TRUE(std::ranges::all_of(lines(), [](const MenuLine& e) { return e.separator || e.hasImage; }));

  // The disabled entry first: the only choice queued must be Quit's.
  EXPECT_EQ(event(idOf("Pause__It"), "clicked"), "");
  EXPECT_EQ(event(idOf("Quit"), "clicked"), "");
  EXPECT_EQ(choices(), std::vector<std::int64_t>{14});
  model.find(5)->enabled = true;
  desktop->menuItemEnabledChanged(model, 5);
  ASSERT_TRUE(iterateUntil([&] { return labels() == "Next|Previous|---|Pause__It|Quit|"; }));

  // An unknown id is an error and chooses nothing; so does a left click.
  EXPECT_NE(event(9999, "clicked"), "");
  EXPECT_EQ(itemCall("Activate", g_variant_new("(ii)", 0, 0)), "");
  EXPECT_EQ(choices(), std::vector<std::int64_t>{});

  // The middle button chooses Pause. Twenty wheel steps
  // as one flick sends them, the first towards the user and every other one
  // away (queued choices of the same entry would merge): one Next and no
  // Previous. A sideways scroll chooses nothing.
  EXPECT_EQ(itemCall("SecondaryActivate", g_variant_new("(ii)", 0, 0)), "");
  EXPECT_EQ(choices(), std::vector<std::int64_t>{5});
  for (int i = 0; i < 20; ++i)
    watcher->send(item().busName, item().objectPath, kItemInterface, "Scroll",
                  g_variant_new("(is)", i % 2 ? -1 : 1, "vertical"));
  EXPECT_EQ(choices(), std::vector<std::int64_t>{2});
  EXPECT_EQ(itemCall("Scroll", g_variant_new("(is)", -1, "horizontal")), "");
  EXPECT_EQ(choices(), std::vector<std::int64_t>{});

  // Hide Icon: no icon, the label alone.
  desktop->setStatusImage(nullptr, false);
  EXPECT_EQ(text("IconName"), "");
  EXPECT_EQ(pixmaps(), 0u);

  // An open menu holds the ticks until it closes or its host is gone.
  int ticks = 0;
  desktop->startTimer(10, [&] { ++ticks; });
  ASSERT_TRUE(iterateUntil([&] { return ticks > 0; }));
  auto held = [&] {  // whether no tick of the 10 ms timer came in 300 ms
    settle(50);  // the menu library hands events on from an idle
    int seen = ticks;
    settle(300);
    return ticks == seen;
  };
  auto resumesAfter = [&](const std::function<void()>& action) {
    int seen = ticks;
    action();
    return iterateUntil([&] { return ticks > seen; });
  };

  // A plain AboutToShow, as GNOME's extension sends whenever it attaches the
  // menu, opens nothing; its "opened" does.
  EXPECT_EQ(itemCall("AboutToShow", g_variant_new("(i)", 0), true), "");
  EXPECT_FALSE(held());
  EXPECT_EQ(event(0, "opened"), "");
  EXPECT_TRUE(held());
  EXPECT_TRUE(resumesAfter([&] { event(0, "closed"); }));

  // A host that opens it by AboutToShowGroup, as libdbusmenu-gtk's do, never
  // says "closed": a choice lets it go, and so does the host going away.
  auto host = std::make_unique<FakeStatusWatcher>(false);
  auto openByGroup = [&] {
    for (int i = 0; i < 50; ++i) itemCall("AboutToShowGroup", g_variant_new_parsed("([0],)"), true, host.get());
    return held();
  };
  EXPECT_TRUE(openByGroup());
  EXPECT_TRUE(resumesAfter([&] { event(idOf("Quit"), "clicked"); }));
  EXPECT_TRUE(openByGroup());
  EXPECT_TRUE(resumesAfter([&] { host.reset(); }));
}

TEST_F(GtkStatusItem, RebuildsKeepOneItemAndSendOnlyWhatChanged) {
  Image icon = square(255), other = square(128);
  auto current = std::make_unique<MenuModel>(model);
  build(*current, &icon, "First");
  ASSERT_TRUE(registered());
  std::string busName = item().busName;
  int oldId = idOf("Quit");
  settle(100);
  std::size_t before = watcher->signals().size();
  auto rebuild = [&](const MenuModel& m, const Image* image, const char* title) {
    desktop->menuFreed(*current);
    desktop->removeStatusItem();
    current = std::make_unique<MenuModel>(m);
    build(*current, image, title);
  };
  for (int i = 0; i < 100; ++i) rebuild(model, &icon, "First");
  // A build that shows nothing new sends nothing.
  settle(100);
  EXPECT_EQ(watcher->signals().size(), before);
  rebuild(MenuModel{.entries = {entry(3, "Repeat"), entry(14, "Quit")}}, &other, "Second");
  ASSERT_TRUE(iterateUntil([&] { return labels() == "Repeat|Quit|"; }));
  auto sent = [&](const char* one) { return std::count(watcher->signals().begin() + before, watcher->signals().end(), one); };
  EXPECT_TRUE(iterateUntil([&] { return sent("LayoutUpdated") && sent("NewIcon") && sent("XAyatanaNewLabel"); }));
  EXPECT_FALSE(sent("NewStatus") || sent("NewToolTip") || sent("NewTitle"));
  EXPECT_EQ(std::pair(watcher->registrations().size(), item().busName), std::pair(std::size_t{1}, busName));
  // A click on an entry of an older build finds nothing.
  EXPECT_NE(event(oldId, "clicked"), "");
  EXPECT_EQ(choices(), std::vector<std::int64_t>{});

  // A watcher that restarts gets the item again.
  watcher.reset();
  watcher = std::make_unique<FakeStatusWatcher>();
  ASSERT_TRUE(registered());
  EXPECT_EQ(std::pair(watcher->registrations().size(), text("XAyatanaLabel")), std::pair(std::size_t{1}, std::string("Second")));
}

// No watcher: the item docks into an XEmbed tray (a real one, trayer) and
// takes the middle button and the wheel there; a watcher that appears later
// takes the item over.
TEST_F(GtkStatusItem, WithoutAWatcherAnXembedIconDocksAndTakesTheMouse) {
  if (g_autofree char* trayer = g_find_program_in_path("trayer"); !trayer) GTEST_SKIP() << "trayer is not installed";
  GPid tray = 0;
  g_auto(GStrv) argv = g_strsplit("trayer --edge top --align left --SetDockType false", " ", -1);
  ASSERT_TRUE(g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &tray, nullptr));
  watcher.reset();
  model.find(5)->enabled = true;
  build(model, nullptr, "Song");
  // The icon's window carries the title "Larkspur" once it is in the tray.
  auto docked = [&] { return runProgram({"xdotool", "search", "--onlyvisible", "--name", "^Larkspur$"}); };
  std::string icon;
  ASSERT_TRUE(iterateUntil([&] { return !(icon = docked()).empty(); }, 20000));
  for (auto [button, id] : {std::pair{"2", 5}, {"5", 2}}) {
    runProgram({"xdotool", "mousemove", "--window", icon.substr(0, icon.find('\n')), "8", "8", "click", button});
    ASSERT_TRUE(waitForEvent(EventMenu));
    EXPECT_EQ(queue.currentObject(), id) << button;
  }

  watcher = std::make_unique<FakeStatusWatcher>();
  ASSERT_TRUE(registered());
  EXPECT_TRUE(iterateUntil([&] { return docked().empty(); }));
  kill(tray, SIGTERM);
}

}  // namespace
}  // namespace larkspur::test
