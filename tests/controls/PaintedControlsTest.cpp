// The controls that draw their own text, checked on what they draw: the status text's
// size and place, the large button's caption, the link's colours, underline and opening.

#include "app/controls/KlookyButton.h"
#include "app/controls/StaticLink.h"
#include "app/controls/StatusText.h"
#include "tests/controls/ControlsTestSupport.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QUrl>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using wvctl::BeepKind;
using wvtest::BeepLog;
using wvtest::InkBounds;
using wvtest::Reddish;

// A parent with a plain green background, so what a control leaves unpainted shows green.
std::unique_ptr<QWidget> GreenParent(int width, int height)
{
    auto parent = std::make_unique<QWidget>();
    QPalette palette = parent->palette();
    palette.setColor(QPalette::Window, QColor(0, 160, 0));
    parent->setPalette(palette);
    parent->setAutoFillBackground(true);
    parent->resize(width, height);
    return parent;
}

// Where the text's ink lies when its cell starts at row 0 of a plain image.
QRect InkAtCellTop(const QFont& font, const QString& text)
{
    QImage image(400, 80, QImage::Format_RGB32);
    image.fill(QColor(0, 160, 0));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(255, 0, 0));
    painter.drawText(QPoint(0, QFontMetrics(font).ascent()), text);
    painter.end();
    return InkBounds(image, Reddish);
}

TEST(StatusText, ATwentyPixelControlDrawsAnEighteenPixelCellFromRowOne)
{
    const QFont font = CStatusText::PaintFont(20);
    EXPECT_EQ(QFontMetrics(font).height(), 18);
    EXPECT_EQ(font.weight(), QFont::DemiBold);
    EXPECT_EQ(CStatusText::TextTop(20), 1);

    auto parent = GreenParent(300, 20);
    auto* text = new CStatusText(parent.get());
    text->setGeometry(0, 0, 300, 20);
    text->setText(QStringLiteral("old"));
    text->SetTextColor(QColor(255, 0, 0));
    text->SetText(QStringLiteral("Hgjy"));
    EXPECT_TRUE(text->text().isEmpty()); // the label's own text is cleared
    EXPECT_EQ(text->GetText().toStdString(), "Hgjy");

    const QImage image = parent->grab().toImage();
    const QRect ink = InkBounds(image, Reddish);
    ASSERT_FALSE(ink.isEmpty());
    // The ink of a cell drawn from row 0, one row lower and at the left edge.
    const QRect reference = InkAtCellTop(font, QStringLiteral("Hgjy"));
    EXPECT_EQ(ink.top(), reference.top() + 1);
    EXPECT_EQ(ink.left(), reference.left());
    EXPECT_EQ(ink.size(), reference.size());
    // Capital and descenders fill most of the cell, which runs from row 1 to row 18.
    EXPECT_GE(ink.top(), 1);
    EXPECT_LE(ink.bottom(), 18);
    EXPECT_GE(ink.height(), 13);
    EXPECT_LE(ink.left(), 2);
    // Transparent: beside the text the parent's background shows.
    EXPECT_EQ(image.pixelColor(299, 10), QColor(0, 160, 0));
    EXPECT_EQ(image.pixelColor(ink.left(), 0), QColor(0, 160, 0));
}

TEST(StatusText, TheTextGrowsWithTheControl)
{
    auto parent = GreenParent(400, 60);
    auto* text = new CStatusText(parent.get());
    text->setGeometry(0, 0, 400, 60);
    text->SetTextColor(QColor(255, 0, 0));
    text->SetText(QStringLiteral("Hgjy"));
    const QRect ink = InkBounds(parent->grab().toImage(), Reddish);
    // A 54-pixel cell from row 3.
    EXPECT_EQ(ink.top(), InkAtCellTop(CStatusText::PaintFont(60), QStringLiteral("Hgjy")).top() + 3);
    EXPECT_LE(QFontMetrics(CStatusText::PaintFont(60)).height(), 54);
    EXPECT_GE(QFontMetrics(CStatusText::PaintFont(60)).height(), 52);
    EXPECT_GE(ink.top(), 3);
    EXPECT_LE(ink.bottom(), 56);
    EXPECT_GE(ink.height(), 40);

    text->SetText(QString());
    EXPECT_TRUE(InkBounds(parent->grab().toImage(), Reddish).isEmpty());
}

TEST(KlookyButton, DrawsItsCaptionBoldAndCentredInTheWindowTextColour)
{
    CKlookyButton button;
    QPalette palette = button.palette();
    palette.setColor(QPalette::WindowText, QColor(220, 0, 0));
    button.setPalette(palette);
    button.setText(QStringLiteral("Start"));
    button.resize(240, 80);
    EXPECT_FALSE(button.IsFontCreated());

    const QImage up = button.grab().toImage();
    ASSERT_TRUE(button.IsFontCreated());
    const QFont font = button.GetCaptionFont();
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.pixelSize(), button.logicalDpiY() * 14 / 72);

    const QRect ink = InkBounds(up, Reddish);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x(), 120, 3);
    EXPECT_NEAR(ink.center().y(), 40, 4);
    // Cap height of a bold face of about 18 pixels, on one line.
    EXPECT_GE(ink.height(), 10);
    EXPECT_LE(ink.height(), 24);
    EXPECT_GE(ink.width(), 40);

    // Held down, the frame is drawn pressed.
    button.setDown(true);
    EXPECT_NE(button.grab().toImage(), up);
}

// Takes the links of the test scheme, so nothing leaves the test.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    LinkCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("wvtest"), this, "Open"); }
    ~LinkCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("wvtest")); }
    std::vector<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

bool Bluish(QColor c) { return c.blue() - c.red() > 100 && c.blue() - c.green() > 100; }
bool Purplish(QColor c) { return c.red() - c.green() > 40 && c.blue() - c.green() > 40 && std::abs(c.red() - c.blue()) < 40; }

TEST(StaticLink, ShowsBlueUnderlinedTextAndTurnsPurpleOnceOpened)
{
    LinkCatcher catcher;
    BeepLog log;
    auto parent = GreenParent(300, 30);
    auto* link = new CStaticLink(parent.get());
    link->setGeometry(0, 0, 300, 30);
    link->setText(QStringLiteral("wvtest://maker/home"));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->GetTextColor(), QColor(0, 0, 255));

    QImage image = parent->grab().toImage();
    const QRect blue = InkBounds(image, Bluish);
    ASSERT_FALSE(blue.isEmpty());
    EXPECT_TRUE(InkBounds(image, Purplish).isEmpty());
    // The underline: one row of the link's colour under the whole text.
    int longestRun = 0;
    for (int y = blue.top(); y <= blue.bottom(); ++y) {
        int run = 0;
        for (int x = blue.left(); x <= blue.right(); ++x) {
            run += Bluish(image.pixelColor(x, y)) ? 1 : 0;
        }
        longestRun = std::max(longestRun, run);
    }
    EXPECT_GE(longestRun, blue.width() * 9 / 10);

    // An empty link takes the text; the desktop took it, so the link is visited.
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(10, 15));
    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("wvtest://maker/home")));
    EXPECT_EQ(link->GetLink().toStdString(), "wvtest://maker/home");
    EXPECT_TRUE(link->IsVisited());
    EXPECT_TRUE(log.beeps.empty());
    image = parent->grab().toImage();
    EXPECT_TRUE(InkBounds(image, Bluish).isEmpty());
    EXPECT_FALSE(InkBounds(image, Purplish).isEmpty());
}

TEST(StaticLink, ALinkThatCannotBeOpenedBeepsAndStaysBlue)
{
    LinkCatcher catcher;
    const struct {
        const char* text;
        const char* link;
    } cases[] = {
        {"Maker", "http://[no such host"}, // not an address at all
        {"", ""},                          // nothing to open
    };
    for (const auto& c : cases) {
        BeepLog log;
        auto parent = GreenParent(300, 30);
        auto* link = new CStaticLink(parent.get());
        link->setGeometry(0, 0, 300, 30);
        link->setText(QString::fromUtf8(c.text));
        link->SetLink(QString::fromUtf8(c.link));
        link->OnClicked();
        EXPECT_EQ(log.beeps, std::vector<BeepKind>{BeepKind::Default}) << c.link;
        EXPECT_FALSE(link->IsVisited());
        EXPECT_EQ(link->GetTextColor(), QColor(0, 0, 255));
        if (*c.text != '\0') {
            EXPECT_FALSE(InkBounds(parent->grab().toImage(), Bluish).isEmpty());
        }
    }
    EXPECT_TRUE(catcher.opened.empty());
}

TEST(StaticLink, APressOutsideOrAnotherButtonOpensNothing)
{
    LinkCatcher catcher;
    CStaticLink link;
    link.resize(200, 20);
    link.setText(QStringLiteral("wvtest://x"));
    QTest::mouseClick(&link, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(250, 5));
    EXPECT_TRUE(catcher.opened.empty());
    EXPECT_FALSE(link.IsVisited());
}

} // namespace

#include "PaintedControlsTest.moc"
