// Menus built from menu blocks: item order, separators, submenus and the word each item
// carries; which blocks make a window's menu bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "core/symbols.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/menus.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

// "text=word" per item ("text=-1" without a word), "---" per separator, "text[...]" per submenu.
std::string outline(const QMenu& m) {
  std::string out;
  for (QAction* a : m.actions()) {
    if (!out.empty()) out += ' ';
    if (a->isSeparator()) {
      out += "---";
    } else if (a->menu()) {
      out += a->text().toStdString() + "[" + outline(*a->menu()) + "]";
    } else {
      int id = a->data().toInt();
      out += a->text().toStdString() + "=" +
             (id < 0 ? std::string("-1") : std::string(symbol::get_c_string(static_cast<uint32_t>(id))));
    }
  }
  return out;
}

TEST(Menus, BlocksBecomeItems) {
  init();
  struct Case {
    const char* block;
    const char* outline;
  };
  const Case cases[] = {
      {R"(["A" a --- "B" b])", "A=a --- B=b"},
      {R"(["File" ["Open" open "Quit" quit] "Help" help])", "File[Open=open Quit=quit] Help=help"},
      // A text right after a text: the first has no word. Other values are skipped.
      {R"(["X" "Y" y 12 "Z" 3])", "X=-1 Y=y Z=-1"},
      {R"(["A" --- "B"])", "A=-1 --- B=-1"},
      {R"(["&Save^-Ctrl+S" save])", "&Save\tCtrl+S=save"},
  };
  for (const Case& c : cases) {
    Cell block = viewtest::eval_value(c.block);
    QMenu m;
    menus::build(&block, &m);
    EXPECT_EQ(outline(m), c.outline) << c.block;
  }
}

TEST(Menus, OnlyAWindowsNonPopupBlockIsABar) {
  struct Case {
    const char* block;
    bool window;
    bool bar;
  };
  const Case cases[] = {
      {R"(["File" file])", true, true},   {R"(["File" file])", false, false},
      {R"([popup "Cut" cut])", true, false}, {"[]", true, false},
      {"none", true, false},
  };
  for (const Case& c : cases) {
    Cell v = viewtest::eval_value(c.block);
    EXPECT_EQ(menus::is_bar(&v, c.window), c.bar) << c.block << " window " << c.window;
  }
}

}  // namespace
}  // namespace tav::gui
