#include "state/instructions/instruction_library_keeper.h"
#include "state/lexicon/lexicon_keeper.h"
#include "tests/views/window_pages_fixture.h"
#include "views/client_window_toast_view.h"
#include "views/client_window_view.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/history/history_list_view.h"
#include "views/instructions/instruction_library_view.h"
#include "views/lexicon/personal_lexicon_view.h"
#include "views/main_panel_view.h"
#include "views/settings/settings_view.h"
#include "views/sidebar_row.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

class ClientWindowTest : public WindowPagesTest {
protected:
    ClientWindowView &makeWindow() {
        makeObjects();
        window = std::make_unique<ClientWindowView>(*viewModel, *store, *permissions,
                                                    doubles.clientWindowDependencies());
        window->resize(1000, 700);
        window->show();
        return *window;
    }
    SidebarRow &row(ClientWindowSection section) {
        for (SidebarRow *candidate : window->findChildren<SidebarRow *>()) {
            if (candidate->section() == section)
                return *candidate;
        }
        throw std::runtime_error("no such row");
    }
    QString header() { return textOf(*window, QStringLiteral("headerTitle")); }
    AppToastState toast(const QString &message, bool isError = false) {
        return {QUuid::createUuid(), message, isError};
    }
    // Where the toast sits in the content area under the header.
    QRect toastFrame(const ClientWindowToastView &shown) {
        QWidget *content = window->currentPage()->parentWidget();
        return {shown.mapTo(content, QPoint(0, 0)), shown.size()};
    }

    ~ClientWindowTest() override { window.reset(); }

    std::unique_ptr<ClientWindowView> window;
};

TEST_F(ClientWindowTest, TheSidebarListsTheFiveSectionsAndSwitchesPages) {
    ClientWindowView &client = makeWindow();
    QStringList titles;
    QStringList symbols;
    for (SidebarRow *candidate : client.findChildren<SidebarRow *>()) {
        titles << candidate->text();
        symbols << systemImage(candidate->section());
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("主页"), QStringLiteral("指令库"),
                                   QStringLiteral("个人词库"), QStringLiteral("历史记录"),
                                   QStringLiteral("设置")}));
    EXPECT_EQ(
        symbols,
        (QStringList{QStringLiteral("house"), QStringLiteral("sparkles.rectangle.stack"),
                     QStringLiteral("text.badge.star"), QStringLiteral("clock.arrow.circlepath"),
                     QStringLiteral("slider.horizontal.3")}));
    for (const QString &symbol : symbols)
        EXPECT_TRUE(TovalitSymbol::exists(symbol)) << symbol.toStdString();

    EXPECT_EQ(client.selection(), ClientWindowSection::home);
    EXPECT_TRUE(row(ClientWindowSection::home).isSelected());
    EXPECT_EQ(header(), QStringLiteral("主页"));
    auto *home = qobject_cast<MainPanelView *>(client.currentPage());
    ASSERT_NE(home, nullptr);

    QTest::mouseClick(&row(ClientWindowSection::settings), Qt::LeftButton);
    EXPECT_EQ(client.selection(), ClientWindowSection::settings);
    EXPECT_EQ(header(), QStringLiteral("设置"));
    EXPECT_NE(qobject_cast<SettingsView *>(client.currentPage()), nullptr);
    EXPECT_FALSE(row(ClientWindowSection::home).isSelected());
    EXPECT_TRUE(row(ClientWindowSection::settings).isSelected());

    QTest::mouseClick(&row(ClientWindowSection::instructions), Qt::LeftButton);
    EXPECT_EQ(header(), QStringLiteral("指令库"));
    EXPECT_NE(qobject_cast<InstructionLibraryView *>(client.currentPage()), nullptr);
    QTest::mouseClick(&row(ClientWindowSection::history), Qt::LeftButton);
    EXPECT_EQ(header(), QStringLiteral("历史记录"));
    EXPECT_NE(qobject_cast<HistoryListView *>(client.currentPage()), nullptr);
    QTest::mouseClick(&row(ClientWindowSection::lexicon), Qt::LeftButton);
    EXPECT_EQ(header(), QStringLiteral("个人词库"));
    EXPECT_NE(qobject_cast<PersonalLexiconView *>(client.currentPage()), nullptr);

    // Coming back builds the page afresh.
    QPointer<MainPanelView> previous(home);
    waitUntil([&] { return previous.isNull(); }, "the page left behind to be discarded");
    QTest::mouseClick(&row(ClientWindowSection::home), Qt::LeftButton);
    EXPECT_NE(qobject_cast<MainPanelView *>(client.currentPage()), nullptr);

    // No selection at all shows home with no row highlighted.
    MainPanelView *shown = qobject_cast<MainPanelView *>(client.currentPage());
    client.setSelection(std::nullopt);
    EXPECT_EQ(header(), QStringLiteral("主页"));
    EXPECT_EQ(client.currentPage(), shown) << "the same page: home is still what shows";
    for (SidebarRow *candidate : client.findChildren<SidebarRow *>())
        EXPECT_FALSE(candidate->isSelected());
    EXPECT_TRUE(client.recordButton()->isHidden());
    EXPECT_FALSE(client.recordButton()->isEnabled());

    // Only the detail column grows with the window.
    QWidget *sidebar = client.findChild<QWidget *>(QStringLiteral("sidebar"));
    QWidget *detail = client.findChild<QWidget *>(QStringLiteral("detailColumn"));
    client.resize(1400, 800);
    waitUntil([&] { return detail->width() == 1400 - 220 - 1; },
              "the detail column to take the new width");
    EXPECT_EQ(sidebar->width(), 220);
}

TEST_F(ClientWindowTest, TheRecordButtonMirrorsTheRecordingOnTheHomeSectionOnly) {
    doubles.transcriberScript.finishText = QStringLiteral("明天十点开会");
    doubles.formatterAnswers.fallback = QStringLiteral("明天十点开会。");
    ClientWindowView &client = makeWindow();
    QPushButton *button = client.recordButton();
    EXPECT_EQ(client.recordButtonSymbol(), QStringLiteral("mic.circle.fill"));
    EXPECT_TRUE(button->isVisible());
    EXPECT_TRUE(button->isEnabled());

    QTest::mouseClick(button, Qt::LeftButton);
    waitUntil([&] { return viewModel->recordingState() == RecordingState::recording(); },
              "the button to start a recording");
    EXPECT_EQ(client.recordButtonSymbol(), QStringLiteral("stop.circle.fill"));
    EXPECT_TRUE(button->isEnabled());

    // Thinking: visible, disabled.
    doubles.formatterAnswers.gate = std::make_shared<Gate>();
    doubles.time.advance(2.0);
    QTest::mouseClick(button, Qt::LeftButton);
    waitUntil([&] { return viewModel->recordingState() == RecordingState::thinking(); },
              "the stop to start formatting");
    EXPECT_EQ(client.recordButtonSymbol(), QStringLiteral("mic.circle.fill"));
    EXPECT_TRUE(button->isVisible());
    EXPECT_FALSE(button->isEnabled());
    doubles.formatterAnswers.gate->open();
    waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
              "the dictation to finish");
    EXPECT_TRUE(button->isEnabled());

    // Elsewhere the button keeps its room but cannot be seen or used.
    const int headerHeight = button->parentWidget()->height();
    client.setSelection(ClientWindowSection::settings);
    EXPECT_TRUE(button->isHidden());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(button->sizePolicy().retainSizeWhenHidden());
    processEventsFor(std::chrono::milliseconds(10));
    EXPECT_EQ(button->parentWidget()->height(), headerHeight);
}

TEST_F(ClientWindowTest, TheHeaderEndsSixteenPastWhatItShowsWhateverTheMenuSlotHolds) {
    ClientWindowView &client = makeWindow();
    QPushButton *record = client.recordButton();
    QWidget *header = record->parentWidget();
    const auto trailingRoom = [&](const QWidget *last) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return header->width() - last->mapTo(header, QPoint(last->width(), 0)).x();
    };
    EXPECT_EQ(trailingRoom(record), 16) << "nothing in the slot";

    // The window moves its menu button in from where it stood before the
    // content came, hidden while a tray offers the menu…
    QWidget strip;
    auto *stripRow = new QHBoxLayout(&strip);
    auto *menu = new QPushButton(QStringLiteral("…"), &strip);
    menu->setFixedSize(24, 24);
    stripRow->addWidget(menu);
    strip.show();
    qobject_cast<QBoxLayout *>(client.headerAccessoryPlace()->layout())->addWidget(menu);
    menu->setVisible(false);
    EXPECT_EQ(trailingRoom(record), 16) << "a tray: the slot takes no room";

    // …and shown without one, at the row's end, one spacing after the
    // record button.
    menu->setVisible(true);
    EXPECT_EQ(trailingRoom(menu), 16);
    EXPECT_EQ(menu->mapTo(header, QPoint(0, 0)).x() -
                  record->mapTo(header, QPoint(record->width(), 0)).x(),
              12);
    menu->setVisible(false);
    EXPECT_EQ(trailingRoom(record), 16) << "a tray came up";
}

TEST_F(ClientWindowTest, ToastsSlideInOverThePageAndLetClicksThrough) {
    ClientWindowView &client = makeWindow();
    EXPECT_EQ(client.toastView(), nullptr);

    viewModel->setAppToast(toast(QStringLiteral("已复制到剪贴板")));
    ClientWindowToastView *shown = client.toastView();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->messageLabel()->text(), QStringLiteral("已复制到剪贴板"));
    EXPECT_EQ(shown->symbol()->symbolName(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(shown->symbol()->color(), TovalitPalette::brandStrong());
    EXPECT_FALSE(shown->level().isError());
    waitUntil([&] { return toastFrame(*shown).top() == 14; },
              "the toast to come down 14 points below the header");
    EXPECT_GE(shown->width(), 220) << "a short message still makes a full toast";
    EXPECT_LE(shown->width(), 360);
    const int contentWidth = client.currentPage()->parentWidget()->width();
    EXPECT_NEAR(toastFrame(*shown).center().x(), contentWidth / 2, 1) << "centred";
    // Clicks on the toast reach the page beneath.
    const QRect onWindow(shown->mapTo(&client, QPoint(0, 0)), shown->size());
    QWidget *page = client.currentPage();
    QWidget *hit = client.childAt(onWindow.center());
    ASSERT_NE(hit, nullptr);
    EXPECT_FALSE(shown->isAncestorOf(hit) || hit == shown);
    EXPECT_TRUE(page->isAncestorOf(hit));

    // A replacement changes the toast in place.
    const QString longMessage = QString(QStringLiteral("保存失败，请检查磁盘空间。")).repeated(12);
    viewModel->setAppToast(toast(longMessage, true));
    EXPECT_EQ(client.toastView(), shown);
    EXPECT_EQ(shown->symbol()->symbolName(), QStringLiteral("exclamationmark.circle.fill"));
    EXPECT_EQ(shown->symbol()->color(), TovalitPalette::red());
    EXPECT_TRUE(shown->level().isError()) << "an error toast has the red border";
    EXPECT_EQ(shown->messageLabel()->maximumLineCount(), 3);
    EXPECT_TRUE(shown->messageLabel()->isTruncatedAtWidth(shown->messageLabel()->width()));
    EXPECT_LE(shown->width(), 360);

    // A notice that names a kept copy of a file shows the copy's name
    // whole, however deep the data folder.
    const QString folder = QStringLiteral("/home/a-rather-long-user-name/.local/share/Tovalit/");
    const auto expectWhole = [&](const QString &notice, const QString &copy) {
        viewModel->setAppToast(toast(notice, true));
        EXPECT_TRUE(notice.endsWith(copy)) << notice.toStdString();
        EXPECT_FALSE(shown->messageLabel()->isTruncatedAtWidth(shown->messageLabel()->width()))
            << notice.toStdString();
    };
    using LexiconWhy = PersonalLexiconStore::SetAsideFile::Why;
    for (const auto &[why, copy] :
         {std::pair{LexiconWhy::undecodable,
                    QStringLiteral("personal-lexicon.json.unreadable-20261211T082600Z")},
          std::pair{LexiconWhy::unread,
                    QStringLiteral("personal-lexicon.json.unreadable-20261211T082600Z")},
          std::pair{LexiconWhy::kept,
                    QStringLiteral("personal-lexicon.json.before-cleanup-20261211T082600Z")},
          std::pair{LexiconWhy::conflict,
                    QStringLiteral("personal-lexicon.json.conflict-20261211T082600Z")}})
        expectWhole(LexiconKeeper::setAsideNotice({why, folder + copy}), copy);
    using LibraryWhy = InstructionLibraryStore::SetAsideWhy;
    for (const auto &[why, copy] :
         {std::pair{LibraryWhy::unread,
                    QStringLiteral("instruction-library.json.unreadable-20261211T082600Z")},
          std::pair{LibraryWhy::conflict,
                    QStringLiteral("instruction-library.json.conflict-20261211T082600Z")}})
        expectWhole(InstructionLibraryKeeper::setAsideNotice({why, folder + copy}), copy);

    // Gone when the controller takes it down.
    QPointer<ClientWindowToastView> leaving(shown);
    viewModel->setAppToast(std::nullopt);
    EXPECT_EQ(client.toastView(), nullptr);
    waitUntil([&] { return leaving.isNull(); }, "the toast to slide away");
}

// A notice raised while the permission steps still filled the window is
// on show when the client window is made: it comes down centred over the
// page as laid out, not where the page stood before it had a width.
TEST_F(ClientWindowTest, AToastAlreadyUpWhenTheWindowOpensComesDownCentred) {
    makeObjects();
    viewModel->setAppToast(toast(QStringLiteral("没有找到桌面密钥环"), true));
    window = std::make_unique<ClientWindowView>(*viewModel, *store, *permissions,
                                                doubles.clientWindowDependencies());
    window->resize(1000, 700);
    window->show();
    ClientWindowToastView *shown = window->toastView();
    ASSERT_NE(shown, nullptr);
    auto *fade = window->findChild<QGraphicsOpacityEffect *>();
    ASSERT_NE(fade, nullptr);
    waitUntil([&] { return fade->opacity() == 1.0; }, "the toast to have come in");
    pumpEvents(10);
    EXPECT_EQ(toastFrame(*shown).top(), 14);
    const int contentWidth = window->currentPage()->parentWidget()->width();
    EXPECT_NEAR(toastFrame(*shown).center().x(), contentWidth / 2, 1) << "centred";
}

TEST_F(ClientWindowTest, AReplacingToastChangesInPlaceOverAFifthOfASecond) {
    ClientWindowView &client = makeWindow();
    viewModel->setAppToast(toast(QStringLiteral("已复制到剪贴板")));
    ClientWindowToastView *shown = client.toastView();
    ASSERT_NE(shown, nullptr);
    auto *fade = client.findChild<QGraphicsOpacityEffect *>();
    ASSERT_NE(fade, nullptr);
    waitUntil([&] { return fade->opacity() == 1.0; }, "the toast to have come in");
    EXPECT_EQ(toastFrame(*shown).top(), 14);
    const QRect before = toastFrame(*shown);
    // What the window shows where the toast is.
    const QRect spot(shown->mapTo(&client, QPoint(0, 0)), shown->size());
    const QImage seen = client.grab(spot).toImage();

    viewModel->setAppToast(
        toast(QString(QStringLiteral("保存失败，请检查磁盘空间。")).repeated(4), true));
    EXPECT_EQ(client.toastView(), shown) << "the same toast, not a new one sliding in";
    QAbstractAnimation *change = client.toastChange();
    ASSERT_NE(change, nullptr);
    ASSERT_EQ(change->state(), QAbstractAnimation::Running);
    EXPECT_EQ(change->duration(), 220);
    // Ease-out: quick at first, slowing towards the end.
    auto *curved = qobject_cast<QVariantAnimation *>(change);
    ASSERT_NE(curved, nullptr);
    const QEasingCurve curve = curved->easingCurve();
    EXPECT_GT(curve.valueForProgress(0.25), 0.25 + 0.1);
    EXPECT_GT(curve.valueForProgress(0.75), 0.75);
    EXPECT_LT(curve.valueForProgress(0.75), 1.0);
    EXPECT_DOUBLE_EQ(curve.valueForProgress(1.0), 1.0);

    // Stepped by hand: it starts from what was on screen and ends on the
    // new toast at its own size.
    change->pause();
    change->setCurrentTime(0);
    EXPECT_EQ(toastFrame(*shown).height(), before.height());
    EXPECT_EQ(client.grab(spot).toImage(), seen) << "the former toast, as it was";
    change->setCurrentTime(110);
    const int halfway = toastFrame(*shown).height();
    const QImage between = client.grab(spot).toImage();
    EXPECT_NE(between, seen);
    change->setCurrentTime(220);
    EXPECT_EQ(change->state(), QAbstractAnimation::Stopped);
    const int after = toastFrame(*shown).height();
    EXPECT_GT(after, before.height()) << "the longer message takes more lines";
    EXPECT_GT(halfway, before.height());
    EXPECT_LT(halfway, after);
    EXPECT_EQ(after, shown->heightForWidth(shown->width()));
    EXPECT_EQ(toastFrame(*shown).top(), 14) << "in place, no slide";
    const QImage settled = client.grab(spot).toImage();
    EXPECT_NE(settled, seen);
    EXPECT_NE(settled, between);
    EXPECT_EQ(shown->symbol()->symbolName(), QStringLiteral("exclamationmark.circle.fill"));

    // Going away while a change runs leaves nothing of it behind.
    viewModel->setAppToast(toast(QStringLiteral("已保存")));
    ASSERT_EQ(change->state(), QAbstractAnimation::Running);
    QPointer<ClientWindowToastView> leaving(shown);
    viewModel->setAppToast(std::nullopt);
    EXPECT_EQ(change->state(), QAbstractAnimation::Stopped);
    waitUntil([&] { return leaving.isNull(); }, "the toast to slide away");
    const QWidget *former = client.findChild<QWidget *>(QStringLiteral("formerToast"));
    EXPECT_TRUE(!former || former->isHidden());
}

TEST_F(ClientWindowTest, TheSettingsPageGetsTheShortcutStateOfTheMoment) {
    doubles.shouldBootstrap = true;
    ClientWindowView &client = makeWindow();
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    client.setSelection(ClientWindowSection::settings);
    auto *settings = qobject_cast<SettingsView *>(client.currentPage());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(textOf<TovalitTextLabel>(*settings, QStringLiteral("activationText")),
              QStringLiteral("Alt+Super+K 已注册为全局快捷键"));

    doubles.globalHotKey->failRegistrations(
        GlobalHotKeyError(GlobalHotKeyError::Kind::alreadyTaken));
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(41, ModifierFlag::control, QStringLiteral("L")));
    EXPECT_EQ(textOf<TovalitTextLabel>(*settings, QStringLiteral("activationText")),
              QStringLiteral("Ctrl+L 注册失败，请换一个快捷键"));
}

TEST_F(ClientWindowTest, InAWaylandSessionTheShortcutCardSaysWhichWayTheShortcutTakes) {
    doubles.shouldBootstrap = true;
    doubles.isWaylandSession = true;
    // The desktop binds other keys than the ones asked for.
    doubles.desktopShortcuts->bindTriggersAs(QStringLiteral("Ctrl+F9"));
    ClientWindowView &client = makeWindow();
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    processEventsFor(std::chrono::milliseconds(20));
    client.setSelection(ClientWindowSection::settings);
    auto *settings = qobject_cast<SettingsView *>(client.currentPage());
    ASSERT_NE(settings, nullptr);
    const auto activationText = [&] {
        return textOf<TovalitTextLabel>(*settings, QStringLiteral("activationText"));
    };
    const auto symbol = [&] {
        return settings->findChild<TovalitSymbolView *>(QStringLiteral("activationSymbol"))
            ->symbolName();
    };
    QWidget &commandRow = *settings->findChild<QWidget *>(QStringLiteral("recordingCommandRow"));
    EXPECT_EQ(activationText(), QStringLiteral("Ctrl+F9 已由桌面注册为全局快捷键"));
    EXPECT_EQ(symbol(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_TRUE(commandRow.isHidden());
    EXPECT_EQ(viewModel->statusHint(), QStringLiteral("按 Ctrl+F9 开始或停止录音"))
        << "the keys that work are the desktop's";

    // Until the desktop reports keys, nothing claims to work.
    doubles.desktopShortcuts->bindTriggersAs(QString());
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(41, ModifierFlag::control, QStringLiteral("L")));
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(viewModel->shortcutRoute().way, ShortcutRoute::Way::desktopPortal);
    EXPECT_EQ(activationText(),
              QStringLiteral("桌面还没有为 Tovalit 的录音快捷键分配按键，请在桌面的快捷键设置里为它"
                             "指定按键"));
    EXPECT_EQ(symbol(), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_TRUE(commandRow.isHidden());
    EXPECT_EQ(viewModel->statusHint(), activationText());

    // Without the desktop's service the user binds our command, a binding
    // we cannot see: the card shows the command to copy and never "ready".
    doubles.desktopShortcuts->failSessions(
        DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::unavailable));
    store->setShortcutConfiguration(
        ShortcutConfiguration::custom(42, ModifierFlag::control, QStringLiteral("M")));
    processEventsFor(std::chrono::milliseconds(20));
    const QString command = QStringLiteral("tovalit --action toggle-recording");
    EXPECT_EQ(activationText(), QStringLiteral("这个桌面不让应用自己注册全局快捷键；请在桌面的"
                                               "键盘设置里添加一个自定义快捷键，命令填："));
    EXPECT_EQ(symbol(), QStringLiteral("exclamationmark.circle.fill"));
    EXPECT_FALSE(commandRow.isHidden());
    EXPECT_EQ(textOf(commandRow, QStringLiteral("recordingCommand")), command);
    auto *copy = commandRow.findChild<QPushButton *>(QStringLiteral("copyRecordingCommandButton"));
    EXPECT_EQ(copy->text(), QStringLiteral("复制命令"));
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), command);
    EXPECT_EQ(copy->text(), QStringLiteral("已复制"));
    EXPECT_EQ(viewModel->statusHint(), QStringLiteral("按桌面设置的快捷键开始或停止录音"));
    settings->setShortcutActivationState(ShortcutActivationState::ready(QStringLiteral("已就绪")));
    EXPECT_NE(settings->shortcutCard()->effectiveActivationState().kind,
              ShortcutActivationState::Case::ready);
    EXPECT_EQ(symbol(), QStringLiteral("exclamationmark.circle.fill"));

    // A ready word from the portal that names no keys is not taken as ready.
    settings->setShortcutRoute(ShortcutRoute::of(ShortcutRoute::Way::desktopPortal));
    EXPECT_TRUE(commandRow.isHidden());
    EXPECT_EQ(symbol(), QStringLiteral("exclamationmark.triangle.fill"));
}

TEST_F(ClientWindowTest, WithoutTheDesktopsServiceTheCardCanWriteOurOwnCustomShortcut) {
    doubles.shouldBootstrap = true;
    doubles.isWaylandSession = true;
    doubles.desktopShortcuts->failSessions(
        DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::unavailable));
    const QString command = QStringLiteral("tovalit --action toggle-recording");
    doubles.keybinding = std::make_shared<DesktopKeybinding>(doubles.keyboardSettings, command);
    ClientWindowView &client = makeWindow();
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::control | ModifierFlag::option, QStringLiteral("K")));
    processEventsFor(std::chrono::milliseconds(20));
    client.setSelection(ClientWindowSection::settings);
    auto *settings = qobject_cast<SettingsView *>(client.currentPage());
    ASSERT_NE(settings, nullptr);
    QWidget &commandRow = *settings->findChild<QWidget *>(QStringLiteral("recordingCommandRow"));
    QWidget &offer = *settings->findChild<QWidget *>(QStringLiteral("desktopKeybindingRow"));
    auto &write = *offer.findChild<QPushButton *>(QStringLiteral("writeDesktopKeybindingButton"));
    const auto activationText = [&] {
        return textOf<TovalitTextLabel>(*settings, QStringLiteral("activationText"));
    };
    EXPECT_FALSE(commandRow.isHidden()) << "the command stays there to bind by hand";
    EXPECT_FALSE(offer.isHidden());
    EXPECT_TRUE(textOf<TovalitTextLabel>(offer, QStringLiteral("desktopKeybindingCaption"))
                    .contains(QStringLiteral("Ctrl+Alt+K")));
    EXPECT_TRUE(doubles.keyboardSettings->calls().isEmpty());

    write.click();
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(activationText(), QStringLiteral("CTRL+ALT+k 已由桌面注册为全局快捷键"));
    EXPECT_TRUE(commandRow.isHidden());
    EXPECT_TRUE(offer.isHidden());
    EXPECT_EQ(viewModel->statusHint(), QStringLiteral("按 CTRL+ALT+k 开始或停止录音"));

    // Its keys taken away in the desktop's settings: offered again, and a
    // write the desktop refuses is told under the button.
    doubles.keyboardSettings->changeAsUser(
        DesktopCustomShortcut{DesktopKeybinding::name, command, QString()});
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_FALSE(offer.isHidden());
    EXPECT_EQ(write.text(), QStringLiteral("重新写入"));
    doubles.keyboardSettings->failWrites(DesktopKeyboardSettingsError(QStringLiteral("已锁定")));
    write.click();
    EXPECT_EQ(textOf<TovalitTextLabel>(offer, QStringLiteral("desktopKeybindingFeedback")),
              QStringLiteral("写入失败：无法写入桌面的键盘设置：已锁定"));

    // Back to Fn: ours goes from the desktop's settings.
    doubles.keyboardSettings->failWrites(std::nullopt);
    settings->findChild<QPushButton *>(QStringLiteral("restoreDefaultButton"))->click();
    processEventsFor(std::chrono::milliseconds(20));
    EXPECT_EQ(doubles.keyboardSettings->customShortcut(), std::nullopt);
    EXPECT_TRUE(offer.isHidden());
}

} // namespace
} // namespace tovalit::testing
