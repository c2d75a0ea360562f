// The key-filtering edits: what each lets through when typed, what it refuses with the
// asterisk sound, and (for test names) that text arriving by paste, drop or input method
// passes the same filter.

#include "app/controls/EditDouble.h"
#include "app/controls/EditTestName.h"
#include "tests/controls/ControlsTestSupport.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using wvctl::BeepKind;
using wvtest::BeepLog;
using wvtest::TypeText;

// Types each character of keys on its own; the text that results and the beeps heard.
template <typename Edit>
std::pair<QString, size_t> TypeEach(const QString& keys)
{
    BeepLog log;
    Edit edit;
    for (const QChar c : keys) {
        TypeText(&edit, QString(c));
    }
    for (BeepKind kind : log.beeps) {
        EXPECT_EQ(kind, BeepKind::Asterisk);
    }
    return {edit.text(), log.beeps.size()};
}

TEST(EditDouble, TakesTheCharactersOfANumberAndRefusesTheRestWithTheAsteriskSound)
{
    const struct {
        const char* keys;
        const char* text;
        size_t beeps;
    } cases[] = {
        {"1,5", "1,5", 0},
        {"-12.25", "-12.25", 0},
        {"1e5", "15", 1},       // no exponent
        {"+3", "3", 1},
        {" 7", "7", 1},
        {"x/ab", "", 4},
    };
    for (const auto& c : cases) {
        const auto [text, beeps] = TypeEach<CEditDouble>(QString::fromUtf8(c.keys));
        EXPECT_EQ(text.toStdString(), c.text) << c.keys;
        EXPECT_EQ(beeps, c.beeps) << c.keys;
    }
}

TEST(EditTestName, TakesCodePageLettersDigitsAndThreeMarksOnly)
{
    const struct {
        const char* keys;
        const char* text;
        size_t beeps;
    } cases[] = {
        {"Run_2.a-b", "Run_2.a-b", 0},
        {"\u00C9t\u00E9", "\u00C9t\u00E9", 0}, // letters of the code page
        {"\u0160\u017E\u0153", "\u0160\u017E\u0153", 0},
        {"a b", "ab", 1},                      // a blank
        {"a/b\\c:d", "abcd", 3},               // separators
        {"x*?\"<>|", "x", 6},
        {"\u20AC1", "1", 1},                    // in the code page, but no letter
        {"\u0141\u0436\u4E2D", "", 3},          // letters the code page lacks
        {"\u00B2", "", 1},                      // a digit of another kind
    };
    for (const auto& c : cases) {
        const auto [text, beeps] = TypeEach<CEditTestName>(QString::fromUtf8(c.keys));
        EXPECT_EQ(text.toStdString(), c.text) << c.keys;
        EXPECT_EQ(beeps, c.beeps) << c.keys;
    }
}

TEST(EditTestName, ControlKeysAndShortcutsStillWork)
{
    BeepLog log;
    CEditTestName edit;
    QTest::keyClicks(&edit, QStringLiteral("abc"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text().toStdString(), "b");
    QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit.selectedText().toStdString(), "b");
    EXPECT_TRUE(log.beeps.empty());
}

// Every way text can arrive without a key of its own.
enum class Entry { Paste, PasteKey, Drop, InputMethod, SetText };

void Enter(CEditTestName& edit, Entry entry, const QString& text)
{
    switch (entry) {
    case Entry::Paste:
        QApplication::clipboard()->setText(text);
        edit.paste();
        break;
    case Entry::PasteKey:
        QApplication::clipboard()->setText(text);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        break;
    case Entry::Drop: {
        QMimeData data;
        data.setText(text);
        const QPoint at(edit.width() - 2, edit.height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &drop);
        EXPECT_TRUE(drop.isAccepted());
        break;
    }
    case Entry::InputMethod: {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(&edit, &event);
        break;
    }
    case Entry::SetText:
        edit.setText(edit.text() + text);
        break;
    }
}

TEST(EditTestName, TextThatArrivesWithoutAKeyLosesWhatANameCannotHold)
{
    for (Entry entry : {Entry::Paste, Entry::PasteKey, Entry::Drop, Entry::InputMethod, Entry::SetText}) {
        SCOPED_TRACE(static_cast<int>(entry));
        CEditTestName edit;
        edit.resize(200, 24);
        edit.setText(QStringLiteral("Run"));
        edit.end(false);
        Enter(edit, entry, QStringLiteral("../x y\\z:\u0141\u00E9"));
        EXPECT_EQ(edit.text().toStdString(), "Run..xyz\u00E9");
    }
}

TEST(EditTestName, TheOwnersLengthLimitHoldsForPastedText)
{
    CEditTestName edit;
    edit.setMaxLength(16);
    Enter(edit, Entry::Paste, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(edit.text().toStdString(), "abcdefghijklmnop");
}

} // namespace
