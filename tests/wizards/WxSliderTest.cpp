// The range slider driven as a user drives it: its shape, SetRange's checks, the parts under
// the mouse, drags, the timed repeat (stepped through the control's own timer events),
// double clicks, keys and what it paints.

#include "wizards/WxSlider.h"

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QTest>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class WxSliderTest : public ::testing::Test {
protected:
    // A horizontal slider 300 x 20 at (10, 10): zoom buttons 20 pixels wide, a track of 260
    // pixels from x 20.
    void Make(const QRect& rect = QRect(10, 10, 300, 20))
    {
        parent_ = std::make_unique<QWidget>();
        parent_->resize(400, 240);
        slider_ = new CWxSlider;
        ASSERT_EQ(slider_->Create(rect, parent_.get(), 3242), 1);
        QObject::connect(slider_, &CWxSlider::Notify, [this](const WxSliderNotify& n) { notes_.push_back(n); });
        parent_->show();
    }

    void Band(double start, double end, double minRange = 0.05)
    {
        ASSERT_EQ(slider_->SetRange({0.0, 1.0, start, end, minRange}), 1);
        notes_.clear();
    }

    // Pixels of the track positions along the long axis.
    int Px(int units) const { return slider_->PixelOfTrack(units); }
    QPoint At(int along) const
    {
        return slider_->IsVertical() ? QPoint(slider_->width() / 2, along) : QPoint(along, slider_->height() / 2);
    }

    // One tick of the repeat timer, as the event loop delivers it.
    void Tick()
    {
        const int id = slider_->RepeatTimerId();
        ASSERT_NE(id, 0) << "no repeat running";
        QTimerEvent event(id);
        QApplication::sendEvent(slider_, &event);
    }

    std::unique_ptr<QWidget> parent_;
    CWxSlider* slider_ = nullptr;
    std::vector<WxSliderNotify> notes_;
};

TEST_F(WxSliderTest, ShapeFollowsTheRectangle)
{
    struct Case {
        QSize size;
        bool vertical;
        bool buttons;
        int buttonSize;
    };
    const Case cases[] = {
        {{300, 20}, false, true, 20},
        {{10, 188}, true, true, 10},
        {{60, 20}, false, false, 0}, // exactly 3 x: no buttons
        {{20, 50}, true, false, 0},
    };
    for (const Case& c : cases) {
        Make(QRect(QPoint(5, 5), c.size));
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height());
        EXPECT_EQ(slider_->IsVertical(), c.vertical);
        EXPECT_EQ(slider_->ZoomButtonsShown(), c.buttons);
        EXPECT_EQ(slider_->ZoomButtonSize(), c.buttonSize);
        EXPECT_EQ(slider_->objectName(), QStringLiteral("3242"));
        EXPECT_EQ(slider_->windowTitle(), QStringLiteral("WxSlider"));
        EXPECT_EQ(slider_->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    }
    CWxSlider orphan;
    EXPECT_EQ(orphan.Create(QRect(0, 0, 100, 10), nullptr, 1), 0);
}

TEST_F(WxSliderTest, SetRangeAcceptsValidBandsAndRefusesTheRest)
{
    Make();
    const double nan = std::nan("");
    const double inf = INFINITY;
    struct Case {
        WxSliderRange range;
        int accepted;
        int start = 0;
        int end = 0;
        int distance = 0;
    };
    const Case cases[] = {
        {{0, 1, 0.4, 0.6, 0.05}, 1, 40000, 60000, 5000},
        {{1, 0, 0.6, 0.4, 0.1}, 1, 40000, 60000, 10000}, // decreasing
        {{301, 0, 301, 0, 20}, 1, 0, 100000, 6644},      // the profiler's time axis
        {{0, 1, 0.4, 0.42, 0.05}, 0},                    // band narrower than the minimum
        {{5, 5, 5, 5, 0.1}, 0},                          // equal bounds
        {{0, 1, 0.4, 0.6, 0}, 0},
        {{0, 1, 0.4, 0.6, -1}, 0},
        {{0, 1, -0.1, 0.6, 0.05}, 0}, // outside the bounds
        {{0, 1, 0.4, 1.1, 0.05}, 0},
        {{0, 1, 0, 1, 2}, 0},         // minimum wider than the bounds
        {{1, 0, 0.4, 0.6, 0.1}, 0},   // decreasing bounds with a rising band
        {{nan, 1, 0.4, 0.6, 0.05}, 0},
        {{0, 1, 0.4, inf, 0.05}, 0},
        {{0, 1, 0.4, 0.6, nan}, 0},
        {{1e12, 1e12 + 1, 1e12, 1e12 + 1, 0.5}, 0}, // the track's integer base would overflow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.range.lower << " " << c.range.upper << " " << c.range.start << " "
                                        << c.range.end << " " << c.range.minRange);
        Band(0.1, 0.3, 0.1); // a known state a refusal must keep
        const int accepted = slider_->SetRange(c.range);
        EXPECT_EQ(accepted, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(slider_->StartThumb(), c.start);
            EXPECT_EQ(slider_->EndThumb(), c.end);
            EXPECT_EQ(slider_->MinDistance(), c.distance);
            ASSERT_EQ(notes_.size(), 1u);
            EXPECT_EQ(notes_[0].code, CWxSlider::kNotifyCode);
            EXPECT_EQ(notes_[0].id, 3242);
            EXPECT_EQ(notes_[0].sender, slider_);
            EXPECT_DOUBLE_EQ(notes_[0].lower, c.range.lower);
            EXPECT_DOUBLE_EQ(notes_[0].upper, c.range.upper);
            EXPECT_NEAR(notes_[0].start, c.range.start, 1e-9 + std::fabs(c.range.upper - c.range.lower) * 1e-4);
            EXPECT_NEAR(notes_[0].end, c.range.end, 1e-9 + std::fabs(c.range.upper - c.range.lower) * 1e-4);
        } else {
            EXPECT_EQ(slider_->StartThumb(), 10000);
            EXPECT_EQ(slider_->EndThumb(), 30000);
            EXPECT_EQ(slider_->MinDistance(), 10000);
            EXPECT_TRUE(notes_.empty());
        }
    }
}

TEST_F(WxSliderTest, NotificationWidensABandThatRoundingNarrowed)
{
    Make();
    // 1..2 of 0..3 lands on 33333..66666, a little under the minimum range of 1.
    ASSERT_EQ(slider_->SetRange({0, 3, 1, 2, 1}), 1);
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_GE(notes_[0].end - notes_[0].start, 1.0 - 1e-12);
    EXPECT_LE(notes_[0].end, 3.0);
    // Running downwards, the end moves down towards the upper bound.
    notes_.clear();
    ASSERT_EQ(slider_->SetRange({3, 0, 2, 1, 1}), 1);
    EXPECT_GE(notes_[0].start - notes_[0].end, 1.0 - 1e-12);
    EXPECT_GE(notes_[0].end, 0.0);
}

TEST_F(WxSliderTest, HitTestNamesEachPart)
{
    struct Case {
        int along;
        int part;
    };
    Make();
    Band(0.4, 0.6);
    const int s = Px(40000);
    const int e = Px(60000);
    const Case horizontal[] = {
        {5, CWxSlider::kZoomOut}, {290, CWxSlider::kZoomIn}, {s - 3, CWxSlider::kPageLeft},
        {s - 2, CWxSlider::kStartLeft}, {s + 2, CWxSlider::kStartLeft}, {(s + e) / 2, CWxSlider::kBand},
        {e - 2, CWxSlider::kEndRight}, {e + 2, CWxSlider::kEndRight}, {e + 3, CWxSlider::kPageRight},
    };
    for (const Case& c : horizontal) {
        EXPECT_EQ(slider_->HitTest(At(c.along)), c.part) << "x " << c.along;
    }
    EXPECT_EQ(slider_->HitTest(QPoint(-1, 5)), CWxSlider::kNone);

    Make(QRect(10, 10, 10, 188));
    Band(0.4, 0.6);
    const int vs = Px(40000); // bottom edge
    const int ve = Px(60000); // top edge
    ASSERT_GT(vs, ve);
    const Case vertical[] = {
        {5, CWxSlider::kZoomIn}, {183, CWxSlider::kZoomOut}, {vs + 3, CWxSlider::kPageDown},
        {vs, CWxSlider::kStartBottom}, {(vs + ve) / 2, CWxSlider::kBand}, {ve, CWxSlider::kEndTop},
        {ve - 3, CWxSlider::kPageUp},
    };
    for (const Case& c : vertical) {
        EXPECT_EQ(slider_->HitTest(At(c.along)), c.part) << "y " << c.along;
    }
}

TEST_F(WxSliderTest, DraggingMovesThumbsAndBandWithinTheTrack)
{
    struct Case {
        const char* what;
        bool vertical;
        int grabUnits;  // where the mouse goes down
        int pixelMove;  // how far it then moves along the long axis
        int start;
        int end;
    };
    // 260 track pixels on the horizontal slider: 26 pixels are 10000 units.
    const Case cases[] = {
        {"start thumb towards the end stops short", false, 40000, 200, 55000, 60000},
        {"end thumb towards the start stops short", false, 60000, -200, 40000, 45000},
        {"start thumb to the track minimum", false, 40000, -300, 0, 60000},
        {"band by 26 pixels", false, 50000, 26, 50000, 70000},
        {"band past the end is pulled back", false, 50000, 400, 80000, 100000},
        {"band past the start stops there", false, 50000, -400, 0, 20000},
        {"vertical start thumb up stops short", true, 40000, -200, 55000, 60000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make(c.vertical ? QRect(10, 10, 20, 280) : QRect(10, 10, 300, 20));
        Band(0.4, 0.6);
        const QPoint down = At(Px(c.grabUnits));
        QTest::mousePress(slider_, Qt::LeftButton, {}, down);
        EXPECT_TRUE(slider_->IsDragging());
        const QPoint to = down + (c.vertical ? QPoint(0, c.pixelMove) : QPoint(c.pixelMove, 0));
        QTest::mouseMove(slider_, to);
        QTest::mouseRelease(slider_, Qt::LeftButton, {}, to);
        EXPECT_FALSE(slider_->IsDragging());
        EXPECT_EQ(slider_->StartThumb(), c.start);
        EXPECT_EQ(slider_->EndThumb(), c.end);
        ASSERT_FALSE(notes_.empty());
        EXPECT_NEAR(notes_.back().start, c.start / 100000.0, 1e-9);
        EXPECT_NEAR(notes_.back().end, c.end / 100000.0, 1e-9);
    }
}

TEST_F(WxSliderTest, HeldPartRepeatsOnItsTimer)
{
    struct Case {
        const char* what;
        int pressUnits; // a track position to press at, or -1/-2 for the zoom-out/zoom-in button
        int firstStart, firstEnd;
        int interval;   // the wait after the first repeat
        int finalStart, finalEnd;
    };
    const Case cases[] = {
        {"page left runs to the track start", 20000, 20000, 40000, CWxSlider::kPageRepeatMs, 0, 20000},
        {"page right runs to the track end", 80000, 60000, 80000, CWxSlider::kPageRepeatMs, 80000, 100000},
        {"zoom in narrows to the minimum", -2, 41000, 59000, CWxSlider::kZoomRepeatMs, 47500, 52500},
        {"zoom out widens to the whole track", -1, 39000, 61000, CWxSlider::kZoomRepeatMs, 0, 100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make();
        Band(0.4, 0.6);
        const int along = c.pressUnits == -1 ? 5 : c.pressUnits == -2 ? 295 : Px(c.pressUnits);
        QTest::mousePress(slider_, Qt::LeftButton, {}, At(along));
        // One step at once, then the first wait.
        EXPECT_EQ(slider_->StartThumb(), c.firstStart);
        EXPECT_EQ(slider_->EndThumb(), c.firstEnd);
        ASSERT_TRUE(slider_->IsRepeating());
        EXPECT_EQ(slider_->RepeatInterval(), CWxSlider::kFirstRepeatMs);
        for (int i = 0; i < 200; ++i) {
            Tick();
            ASSERT_EQ(slider_->RepeatInterval(), c.interval);
        }
        // Still held, still repeating, but the band rests at its limit.
        EXPECT_TRUE(slider_->IsRepeating());
        EXPECT_EQ(slider_->StartThumb(), c.finalStart);
        EXPECT_EQ(slider_->EndThumb(), c.finalEnd);
        EXPECT_GE(slider_->EndThumb() - slider_->StartThumb(), slider_->MinDistance());
        QTest::mouseRelease(slider_, Qt::LeftButton, {}, At(along));
        EXPECT_FALSE(slider_->IsRepeating());
        EXPECT_EQ(slider_->PressedPart(), CWxSlider::kNone);
    }
}

TEST_F(WxSliderTest, RepeatStopsWhenTheButtonCanNoLongerComeUp)
{
    struct Case {
        const char* what;
        void (*stop)(CWxSlider*);
    };
    const Case cases[] = {
        {"release outside the control",
         [](CWxSlider* s) { QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(-50, 200)); }},
        {"focus lost",
         [](CWxSlider* s) {
             QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
             QApplication::sendEvent(s, &out);
         }},
        {"hidden", [](CWxSlider* s) { s->hide(); }},
        {"disabled", [](CWxSlider* s) { s->setEnabled(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make();
        Band(0.4, 0.6);
        QTest::mousePress(slider_, Qt::LeftButton, {}, At(295));
        ASSERT_TRUE(slider_->IsRepeating());
        c.stop(slider_);
        EXPECT_FALSE(slider_->IsRepeating());
        EXPECT_EQ(slider_->PressedPart(), CWxSlider::kNone);
        const int start = slider_->StartThumb();
        QTimerEvent stale(12345);
        QApplication::sendEvent(slider_, &stale);
        EXPECT_EQ(slider_->StartThumb(), start);
    }
}

TEST_F(WxSliderTest, DoubleClickTogglesBetweenTheBandAndTheWholeTrack)
{
    Make();
    Band(0.4, 0.6);
    const QPoint band = At(Px(50000));
    QTest::mouseDClick(slider_, Qt::LeftButton, {}, band);
    EXPECT_EQ(slider_->StartThumb(), 0);
    EXPECT_EQ(slider_->EndThumb(), 100000);
    ASSERT_FALSE(notes_.empty());
    EXPECT_DOUBLE_EQ(notes_.back().start, 0.0);
    EXPECT_DOUBLE_EQ(notes_.back().end, 1.0);
    QTest::mouseDClick(slider_, Qt::LeftButton, {}, band);
    EXPECT_EQ(slider_->StartThumb(), 40000);
    EXPECT_EQ(slider_->EndThumb(), 60000);

    // A band touching one end: only the other end goes out and comes back.
    Band(0.0, 0.3);
    QTest::mouseDClick(slider_, Qt::LeftButton, {}, At(Px(15000)));
    EXPECT_EQ(slider_->StartThumb(), 40000); // the remembered start
    EXPECT_EQ(slider_->EndThumb(), 100000);
}

TEST_F(WxSliderTest, KeysMoveAndZoomTheBandButNeverBelowTheMinimum)
{
    struct Case {
        const char* what;
        bool vertical;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        double start, end; // band before, as values of 0..1
        int wantStart, wantEnd;
        int pressed;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Case cases[] = {
        {"left moves down", false, Qt::Key_Left, none, 0.4, 0.6, 39000, 59000, 0},
        {"right moves up", false, Qt::Key_Right, none, 0.4, 0.6, 41000, 61000, 0},
        {"left stops at the track start", false, Qt::Key_Left, none, 0.0, 0.2, 0, 20000, 0},
        {"right stops at the track end", false, Qt::Key_Right, none, 0.8, 1.0, 80000, 100000, 0},
        {"ctrl left pulls the end in", false, Qt::Key_Left, ctrl, 0.4, 0.6, 40000, 59000, 0},
        {"ctrl left stops at the minimum", false, Qt::Key_Left, ctrl, 0.4, 0.455, 40000, 45000, 0},
        {"ctrl right pushes the end out", false, Qt::Key_Right, ctrl, 0.4, 0.6, 40000, 61000, 0},
        {"ctrl right stops at the track end", false, Qt::Key_Right, ctrl, 0.4, 1.0, 40000, 100000, 0},
        {"down zooms out", false, Qt::Key_Down, none, 0.4, 0.6, 39000, 61000, CWxSlider::kZoomOut},
        {"up zooms in", false, Qt::Key_Up, none, 0.4, 0.6, 41000, 59000, CWxSlider::kZoomIn},
        {"zoom in stops at the minimum", false, Qt::Key_Up, none, 0.4, 0.455, 40000, 45000, CWxSlider::kZoomIn},
        {"vertical up moves up", true, Qt::Key_Up, none, 0.4, 0.6, 41000, 61000, 0},
        {"vertical down moves down", true, Qt::Key_Down, none, 0.4, 0.6, 39000, 59000, 0},
        {"vertical right zooms in", true, Qt::Key_Right, none, 0.4, 0.6, 41000, 59000, CWxSlider::kZoomIn},
        {"vertical left zooms out", true, Qt::Key_Left, none, 0.4, 0.6, 39000, 61000, CWxSlider::kZoomOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make(c.vertical ? QRect(10, 10, 20, 200) : QRect(10, 10, 300, 20));
        Band(c.start, c.end);
        QTest::keyPress(slider_, c.key, c.mods);
        EXPECT_EQ(slider_->StartThumb(), c.wantStart);
        EXPECT_EQ(slider_->EndThumb(), c.wantEnd);
        EXPECT_EQ(slider_->PressedPart(), c.pressed);
        const bool moved = c.wantStart != static_cast<int>(std::lround(c.start * 100000)) ||
                           c.wantEnd != static_cast<int>(std::lround(c.end * 100000));
        EXPECT_EQ(notes_.size(), moved ? 1u : 0u);
        QTest::keyRelease(slider_, c.key, c.mods);
        EXPECT_EQ(slider_->PressedPart(), CWxSlider::kNone);
    }
}

TEST_F(WxSliderTest, PaintShowsTheBandAndThePressedPage)
{
    Make(QRect(10, 10, 300, 30));
    Band(0.4, 0.6);
    const QRgb shadow = slider_->palette().color(QPalette::Dark).rgb();
    const int y = slider_->height() / 2;
    const int leftPage = (Px(0) + Px(40000)) / 2;
    const int rightPage = (Px(60000) + Px(100000)) / 2;
    QImage idle = slider_->grab().toImage();
    EXPECT_NE(idle.pixel(leftPage, y), shadow);

    // Held on the track right of the band (the first page moved it to 60000..80000), the
    // page between band and mouse is filled in the shadow colour, the other side is not.
    QTest::mousePress(slider_, Qt::LeftButton, {}, At(Px(90000)));
    ASSERT_EQ(slider_->PressedPart(), CWxSlider::kPageRight);
    QImage held = slider_->grab().toImage();
    EXPECT_EQ(held.pixel(Px(90000), y), shadow);
    EXPECT_NE(held.pixel(leftPage, y), shadow);
    EXPECT_NE(held.pixel(Px(70000), y), shadow); // the band itself
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, At(Px(90000)));
    EXPECT_NE(slider_->grab().toImage().pixel(rightPage + 30, y), shadow);

    if (const char* dir = std::getenv("WV_WIZARD_SNAPSHOTS")) {
        auto window = std::make_unique<QWidget>();
        window->resize(260, 230);
        CWxSlider* h = new CWxSlider;
        h->Create(QRect(10, 10, 240, 20), window.get(), 1);
        h->SetRange({0, 1, 0.3, 0.7, 0.05});
        CWxSlider* v = new CWxSlider;
        v->Create(QRect(10, 40, 16, 180), window.get(), 2);
        v->SetRange({0, 1, 0.2, 0.5, 0.05});
        window->show();
        window->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/wxslider.png"));
    }
}

} // namespace
