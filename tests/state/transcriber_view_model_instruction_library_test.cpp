#include "tests/state/instruction_harness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tovalit {
namespace {

using namespace testing;
using Category = InstructionLibraryCategory;

class InstructionLibraryStateTest : public InstructionControllerTest {
protected:
    AppToastState save(std::optional<QUuid> id, const QString &title, const QString &summary,
                       const QString &prompt, bool enabled = true, qint64 maxTokens = 900,
                       std::optional<QDateTime> createdAt = std::nullopt,
                       Category category = Category::writing) {
        return toastAfter([&] {
            viewModel->saveManualInstructionEntry(id, title, summary, prompt, category, enabled,
                                                  maxTokens, createdAt);
        });
    }
    // The one custom entry there should be.
    InstructionLibraryEntry only() const {
        const QList<InstructionLibraryEntry> entries = viewModel->instructionLibraryEntries();
        EXPECT_EQ(entries.size(), 1) << customTitles().join(u',').toStdString();
        return entries.isEmpty() ? InstructionLibraryCatalog::builtinEntries()[0] : entries[0];
    }
    // The file says what the page shows.
    void expectStoredAsShown() {
        EXPECT_EQ(storedLibrary().customEntries, viewModel->instructionLibraryEntries());
    }
};

TEST_F(InstructionLibraryStateTest, LoadingPublishesTheStoredLibraryOncePerTitle) {
    // No file: the built-ins, nothing else, no toast, nothing written.
    bootstrap();
    EXPECT_EQ(viewModel->builtinInstructionLibraryEntries(),
              InstructionLibraryCatalog::builtinEntries());
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    EXPECT_FALSE(viewModel->appToast().has_value());
    EXPECT_FALSE(QFile::exists(libraryPath()));
    viewModel.reset();

    // A file with two spellings of one title: the later update stays, and
    // equal times list by title with numbers by value.
    const InstructionLibraryEntry older =
        instruction({.title = QStringLiteral("weekly"), .updatedMinute = 1});
    const InstructionLibraryEntry newer =
        instruction({.title = QStringLiteral("ＷＥＥＫＬＹ"), .updatedMinute = 2});
    const InstructionLibraryEntry ten = instruction({.title = QStringLiteral("指令10")});
    const InstructionLibraryEntry two = instruction({.title = QStringLiteral("指令2")});
    storeLibrary({older, ten, newer, two});
    bootstrapped = false;
    bootstrap();
    EXPECT_EQ(customTitles(), (QStringList{QStringLiteral("ＷＥＥＫＬＹ"), QStringLiteral("指令2"),
                                           QStringLiteral("指令10")}));
    EXPECT_EQ(viewModel->instructionLibraryEntries().at(0).id(), newer.id());
    const QList<InstructionLibraryEntry> all = viewModel->allInstructionLibraryEntries();
    ASSERT_EQ(all.size(), 17);
    EXPECT_EQ(all.mid(0, 14), InstructionLibraryCatalog::builtinEntries());
    EXPECT_EQ(all.mid(14), viewModel->instructionLibraryEntries());
}

TEST_F(InstructionLibraryStateTest, AnUnreadableFileIsReportedAndSetAsideByTheNextSave) {
    QDir().mkpath(dataFolder());
    QFile file(libraryPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ broken");
    file.close();

    bootstrap();
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_TRUE(viewModel->appToast()->message.startsWith(QStringLiteral("指令库加载失败：")));
    EXPECT_TRUE(viewModel->appToast()->isError);
    EXPECT_EQ(viewModel->builtinInstructionLibraryEntries(),
              InstructionLibraryCatalog::builtinEntries());
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());

    // The next save starts a library of its own and keeps the broken one.
    save(std::nullopt, QStringLiteral("新指令"), QString(), QStringLiteral("提示"));
    expectStoredAsShown();
    QStringList setAside =
        QDir(dataFolder()).entryList({QStringLiteral("instruction-library.json.unreadable-*")});
    ASSERT_EQ(setAside.size(), 1);
    QFile kept(dataFolder() + u'/' + setAside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "{ broken");
}

TEST_F(InstructionLibraryStateTest, AFileThatCouldNotBeReadIsNeverSavedOverUntilItReads) {
    // A folder where the file should be cannot be read, as a file behind a
    // permission or on a network folder that is away cannot.
    const InstructionLibraryEntry stored = instruction({.title = QStringLiteral("周报")});
    storeLibrary({stored});
    const QString away = libraryPath() + QStringLiteral(".away");
    const auto makeUnreadable = [&] {
        ASSERT_TRUE(QFile::rename(libraryPath(), away));
        ASSERT_TRUE(QDir().mkpath(libraryPath()));
    };
    const auto makeReadable = [&] {
        ASSERT_TRUE(QDir(libraryPath()).removeRecursively());
        ASSERT_TRUE(QFile::rename(away, libraryPath()));
    };
    makeUnreadable();
    bootstrap();
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_TRUE(viewModel->appToast()->message.startsWith(QStringLiteral("指令库加载失败：")));
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());

    // Still unreadable: the edit is refused, and said to be.
    AppToastState toast =
        save(std::nullopt, QStringLiteral("日报"), QString(), QStringLiteral("p"));
    EXPECT_TRUE(toast.message.startsWith(QStringLiteral("指令库保存失败：")))
        << toast.message.toStdString();
    EXPECT_TRUE(toast.isError);
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    EXPECT_TRUE(QFileInfo(libraryPath()).isDir()) << "nothing written or set aside";

    // Readable again: the next edit joins the library the file holds.
    makeReadable();
    toast = save(std::nullopt, QStringLiteral("日报"), QString(), QStringLiteral("p"));
    EXPECT_EQ(toast.message, QStringLiteral("已新增指令“日报”"));
    EXPECT_EQ(customTitles(), (QStringList{QStringLiteral("日报"), QStringLiteral("周报")}));
    expectStoredAsShown();
    EXPECT_EQ(QDir(dataFolder()).entryList({QStringLiteral("instruction-library.json*")}),
              QStringList{QStringLiteral("instruction-library.json")});
}

TEST_F(InstructionLibraryStateTest, SavingFromTheEditorAddsUpdatesAndMerges) {
    bootstrap();

    // A missing title or prompt saves nothing.
    AppToastState toast = save(std::nullopt, QStringLiteral(" \n"), QString(), QStringLiteral("p"));
    EXPECT_EQ(toast.message, QStringLiteral("请先补全指令名称和 Prompt。"));
    EXPECT_TRUE(toast.isError);
    EXPECT_DOUBLE_EQ(lastToastDuration(), 1.6);
    toast = save(std::nullopt, QStringLiteral("标题"), QString(), QStringLiteral("\u3000"));
    EXPECT_EQ(toast.message, QStringLiteral("请先补全指令名称和 Prompt。"));
    EXPECT_FALSE(QFile::exists(libraryPath()));

    // A new entry: trimmed, the default summary, stamped now.
    toast = save(std::nullopt, QStringLiteral("  Weekly Report "), QStringLiteral(" "),
                 QStringLiteral(" 写周报 \n"), false, 1200, std::nullopt, Category::planning);
    EXPECT_EQ(toast.message, QStringLiteral("已新增指令“Weekly Report”"));
    EXPECT_FALSE(toast.isError);
    EXPECT_DOUBLE_EQ(lastToastDuration(), 1.6);
    const InstructionLibraryEntry added = only();
    EXPECT_EQ(added.title, QStringLiteral("Weekly Report"));
    EXPECT_EQ(added.summary, QStringLiteral("自定义指令"));
    EXPECT_EQ(added.promptTemplate, QStringLiteral("写周报"));
    EXPECT_EQ(added.category, Category::planning);
    EXPECT_FALSE(added.enabled);
    EXPECT_EQ(added.maxTokens, 1200);
    EXPECT_EQ(added.createdAt, time.now());
    EXPECT_EQ(added.updatedAt, time.now());
    EXPECT_EQ(added.invocationPhrases.value(0), QStringLiteral("用Weekly Report指令"));
    expectStoredAsShown();

    // A "new" entry whose title differs only in case, width and spaces is
    // that entry: same id and creation, the larger limit, the new values.
    time.advance(60);
    toast = save(std::nullopt, QStringLiteral("ｗｅｅｋｌｙ report"), QString(),
                 QStringLiteral("新提示"), true, 600);
    EXPECT_EQ(toast.message, QStringLiteral("已新增指令“ｗｅｅｋｌｙ report”"));
    InstructionLibraryEntry merged = only();
    EXPECT_EQ(merged.id(), added.id());
    EXPECT_EQ(merged.createdAt, added.createdAt);
    EXPECT_EQ(merged.updatedAt, time.now());
    EXPECT_EQ(merged.title, QStringLiteral("ｗｅｅｋｌｙ report"));
    EXPECT_EQ(merged.summary, QStringLiteral("自定义指令")) << "the stored summary stays";
    EXPECT_EQ(merged.promptTemplate, QStringLiteral("新提示"));
    EXPECT_EQ(merged.maxTokens, 1200);
    EXPECT_TRUE(merged.enabled);
    expectStoredAsShown();

    // Editing: the given id and creation time; a cleared summary is the
    // default, not the old one.
    time.advance(60);
    save(merged.id(), QStringLiteral("周报"), QStringLiteral("说明"), QStringLiteral("p"), true,
         900, merged.createdAt);
    toast = save(merged.id(), QStringLiteral("周报"), QString(), QStringLiteral("p"), true, 900,
                 merged.createdAt);
    EXPECT_EQ(toast.message, QStringLiteral("已更新指令“周报”"));
    const InstructionLibraryEntry edited = only();
    EXPECT_EQ(edited.id(), added.id());
    EXPECT_EQ(edited.createdAt, added.createdAt);
    EXPECT_EQ(edited.summary, QStringLiteral("自定义指令"));
    EXPECT_EQ(edited.maxTokens, 900) << "an edit sets the limit it is given";

    // Renaming onto another entry's title merges the edit into that entry.
    time.advance(60);
    save(std::nullopt, QStringLiteral("日报"), QStringLiteral("日报说明"), QStringLiteral("旧"),
         true, 2000);
    const InstructionLibraryEntry daily = *customEntry(QStringLiteral("日报"));
    time.advance(60);
    toast = save(edited.id(), QStringLiteral(" 日报"), QString(), QStringLiteral("合并后"), false,
                 300, edited.createdAt, Category::rewrite);
    EXPECT_EQ(toast.message, QStringLiteral("已更新指令“日报”"));
    merged = only();
    EXPECT_EQ(merged.id(), daily.id());
    EXPECT_EQ(merged.createdAt, daily.createdAt);
    EXPECT_EQ(merged.summary, QStringLiteral("日报说明"));
    EXPECT_EQ(merged.promptTemplate, QStringLiteral("合并后"));
    EXPECT_EQ(merged.category, Category::rewrite);
    EXPECT_FALSE(merged.enabled);
    EXPECT_EQ(merged.maxTokens, 2000);
    expectStoredAsShown();
}

TEST_F(InstructionLibraryStateTest, TogglingAndDeletingActOnCustomEntriesOnly) {
    const InstructionLibraryEntry weekly = instruction({.title = QStringLiteral("周报")});
    const InstructionLibraryEntry daily = instruction({.title = QStringLiteral("日报")});
    storeLibrary({weekly, daily});
    bootstrap();

    AppToastState toast = toastAfter([&] { viewModel->toggleInstructionEntry(weekly); });
    EXPECT_EQ(toast.message, QStringLiteral("已停用指令“周报”"));
    EXPECT_FALSE(toast.isError);
    EXPECT_FALSE(customEntry(QStringLiteral("周报"))->enabled);
    EXPECT_EQ(customEntry(QStringLiteral("周报"))->updatedAt, time.now());
    EXPECT_EQ(customTitles(), (QStringList{QStringLiteral("周报"), QStringLiteral("日报")}))
        << "the latest change comes first";
    expectStoredAsShown();
    toast = toastAfter([&] { viewModel->toggleInstructionEntry(weekly); });
    EXPECT_EQ(toast.message, QStringLiteral("已启用指令“周报”"));
    EXPECT_TRUE(customEntry(QStringLiteral("周报"))->enabled);

    toast = toastAfter([&] { viewModel->deleteInstructionEntry(daily); });
    EXPECT_EQ(toast.message, QStringLiteral("已删除指令“日报”"));
    EXPECT_EQ(customTitles(), QStringList{QStringLiteral("周报")});
    expectStoredAsShown();
    // Gone already: still saved and confirmed.
    toast = toastAfter([&] { viewModel->deleteInstructionEntry(daily); });
    EXPECT_EQ(toast.message, QStringLiteral("已删除指令“日报”"));

    // Built-ins are not the page's to change.
    const std::optional<AppToastState> before = viewModel->appToast();
    const QByteArray file = [&] {
        QFile stored(libraryPath());
        return stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
    }();
    viewModel->toggleInstructionEntry(InstructionLibraryCatalog::builtinEntries()[0]);
    viewModel->deleteInstructionEntry(InstructionLibraryCatalog::builtinEntries()[1]);
    settle();
    EXPECT_EQ(viewModel->appToast(), before);
    EXPECT_EQ(viewModel->builtinInstructionLibraryEntries(),
              InstructionLibraryCatalog::builtinEntries());
    QFile stored(libraryPath());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), file);
}

TEST_F(InstructionLibraryStateTest, AHandEditStaysWithTheWindowsAndOneBothMadeIsKeptAndNamed) {
    InstructionLibraryEntry weekly = instruction({.title = QStringLiteral("周报")});
    storeLibrary({weekly});
    bootstrap();
    QStringList toasts;
    QObject::connect(viewModel.get(), &TranscriberViewModel::appToastChanged, viewModel.get(),
                     [&](const std::optional<AppToastState> &toast) {
                         if (toast)
                             toasts.append(toast->message);
                     });

    // The summary edited by hand while we run, then an instruction added
    // in the window.
    weekly.summary = QStringLiteral("手改的说明。");
    storeLibrary({weekly});
    save(std::nullopt, QStringLiteral("日报"), QString(), QStringLiteral("p"));
    EXPECT_EQ(customTitles(), (QStringList{QStringLiteral("日报"), QStringLiteral("周报")}));
    EXPECT_EQ(customEntry(QStringLiteral("周报"))->summary, weekly.summary);
    expectStoredAsShown();

    // Both change it: the window's edit is saved, the hand-edited file is
    // kept beside and the notice names it.
    weekly.summary = QStringLiteral("又手改了。");
    storeLibrary({weekly, *customEntry(QStringLiteral("日报"))});
    save(weekly.id(), QStringLiteral("周报"), QStringLiteral("窗口里的说明。"),
         weekly.promptTemplate, true, 900, weekly.createdAt);
    EXPECT_EQ(customEntry(QStringLiteral("周报"))->summary, QStringLiteral("窗口里的说明。"));
    expectStoredAsShown();
    const QStringList copies =
        QDir(dataFolder()).entryList({QStringLiteral("instruction-library.json.conflict-*")});
    ASSERT_EQ(copies.size(), 1);
    QFile copy(dataFolder() + u'/' + copies[0]);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains(QStringLiteral("又手改了。").toUtf8()));
    // The notice waits its turn behind the confirmation on show, and names
    // the copy beside the file by its name alone, which the toast's lines
    // show whole.
    const QString notice =
        QStringLiteral("指令库里有指令也被其他程序改过，已按本次修改保存，另一版本另存为：") +
        copies[0];
    EXPECT_TRUE(waitUntil(
        [&] {
            for (std::size_t index = 0; index < toastSleeps.count(); ++index)
                toastSleeps.wake(index);
            return toasts.contains(notice);
        },
        "the notice"))
        << toasts.join(u'\n').toStdString();
}

TEST_F(InstructionLibraryStateTest, AFailedSaveKeepsWhatThePageShows) {
    storeLibrary({instruction({.title = QStringLiteral("周报")})});
    bootstrap();
    const QList<InstructionLibraryEntry> shown = viewModel->instructionLibraryEntries();
    blockDataFolder();

    const AppToastState toast = toastAfter([&] { viewModel->toggleInstructionEntry(shown.at(0)); });
    EXPECT_TRUE(toast.message.startsWith(QStringLiteral("指令库保存失败：")))
        << toast.message.toStdString();
    EXPECT_TRUE(toast.isError);
    EXPECT_DOUBLE_EQ(lastToastDuration(), 2.2);
    EXPECT_EQ(viewModel->instructionLibraryEntries(), shown);
    unblockDataFolder();
}

TEST_F(InstructionLibraryStateTest, EditsMadeTogetherAllSurvive) {
    const InstructionLibraryEntry stored = instruction({.title = QStringLiteral("已有")});
    storeLibrary({stored});
    // Before the start-up load, and several at once: each edit starts from
    // the library the one before it left, never from an empty list.
    makeViewModel(false);
    for (int index = 1; index <= 3; ++index) {
        viewModel->saveManualInstructionEntry(std::nullopt, QStringLiteral("指令%1").arg(index),
                                              QString(), QStringLiteral("p"), Category::writing,
                                              true, 900, std::nullopt);
    }
    viewModel->toggleInstructionEntry(stored);
    ASSERT_TRUE(waitUntil(
        [&] {
            const InstructionLibraryEntry *toggled = customEntry(QStringLiteral("已有"));
            return customTitles().size() == 4 && toggled && !toggled->enabled;
        },
        "every edit"));
    EXPECT_EQ(storedLibrary().customEntries.size(), 4);
    expectStoredAsShown();
}

TEST(SortedInstructionLibraryEntriesTest, OneEntryPerTitleInListOrder) {
    using testing::instruction;
    const InstructionLibraryEntry first =
        instruction({.title = QStringLiteral("Résumé"), .updatedMinute = 3});
    const InstructionLibraryEntry tie =
        instruction({.title = QStringLiteral("resume "), .updatedMinute = 3});
    const InstructionLibraryEntry later =
        instruction({.title = QStringLiteral("ＲＥＳＵＭＥ"), .updatedMinute = 4});
    const InstructionLibraryEntry builtinTwin = instruction(
        {.title = QStringLiteral("resume"), .source = InstructionLibraryEntrySource::builtin});
    const InstructionLibraryEntry b = instruction({.title = QStringLiteral("b")});
    const InstructionLibraryEntry a10 = instruction({.title = QStringLiteral("a10")});
    const InstructionLibraryEntry a9 = instruction({.title = QStringLiteral("a9")});

    // On equal times the first seen stays; a later update replaces it.
    QList<InstructionLibraryEntry> sorted =
        TranscriberViewModel::sortedInstructionLibraryEntries({first, b, tie, a10, a9});
    EXPECT_EQ(sorted, (QList<InstructionLibraryEntry>{first, a9, a10, b}));
    sorted =
        TranscriberViewModel::sortedInstructionLibraryEntries({first, tie, later, builtinTwin});
    EXPECT_EQ(sorted, (QList<InstructionLibraryEntry>{later, builtinTwin}))
        << "a built-in of the same title is another entry";
}

} // namespace
} // namespace tovalit
