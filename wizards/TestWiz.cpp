#include "wizards/TestWiz.h"

#include "app/controls/StatusText.h"
#include "foundation/NumberText.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "values/UnitConversion.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kPanelWidth = 80;
constexpr int kLeft = 90;
constexpr const char* kNumberFormat = "%2.4f";
constexpr int kIntervalEditLimit = 3;
constexpr int kDeltaEditLimit = 11;
constexpr int kPointEditLimit = 17;
constexpr int kCountEditLimit = 2;
constexpr int kPeriodEditLimit = 3;

constexpr int64_t kHundredthsPerDay = 8'640'000;
constexpr int64_t kHundredthsPerHour = 360'000;
constexpr int64_t kHundredthsPerMinute = 6'000;
constexpr int64_t kHundredthsPerSecond = 100;

// A scheduled start or stop time that is not set.
constexpr DeviceTime kStartNotSet{0, 255, 0, 0, 0, 0, 0};

// Kinds that make a sonde log temperature and barometric pressure with them (their
// readings are compensated by both).
constexpr int kCompensatedKinds[] = {4, 5, 7, 8, 13, 16, 17, 22, 28};
constexpr int kKindTemperature = 2;
constexpr int kKindLevel = 3;
constexpr int kKindBarometric = 6;

// The optical sensors' parameter ids, each followed in the channel list by its six
// status values.
bool HasStatusEntries(int id) { return id == 17 || id == 37; }
constexpr uint8_t kStatusEntries[] = {171, 172, 173, 174, 175, 176};

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string Printf(const char* format, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A value the device keeps: finite and within a single-precision float.
bool FitsDevice(double value) { return std::isfinite(value) && std::fabs(value) <= FLT_MAX; }

// Moves eventChannel to the front of a channel list: the first entry takes its place.
bool MoveToFront(std::array<uint8_t, kTestMaxChannels>& channels, uint8_t count, uint8_t eventChannel)
{
    const size_t n = std::min<size_t>(count, channels.size());
    for (size_t p = 1; p < n; ++p) {
        if (channels[p] == eventChannel) {
            std::swap(channels[0], channels[p]);
            return true;
        }
    }
    return false;
}

template <typename T>
void Store(T& field, T value, bool& changed)
{
    if (field != value) {
        field = value;
        changed = true;
    }
}

// A sorted drop-down list, as the pages' combo boxes are: a new entry goes where its text
// sorts, ignoring case. Returns its row.
int AddSorted(QComboBox* combo, const QString& text)
{
    int row = 0;
    while (row < combo->count() && QString::compare(combo->itemText(row), text, Qt::CaseInsensitive) <= 0) {
        ++row;
    }
    combo->insertItem(row, text);
    return row;
}

} // namespace

// ---- Page 124: name and channels -------------------------------------------------------

CTestWiz1::CTestWiz1(CTestWiz& wiz) : CWVPropertyPage(kIdTestWizNamePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Enter Test Name and Choose Channels"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 8, 200, 10, QStringLiteral("Test Name:"));
    Place<QLineEdit>(kIdTestWizNameEdit, kLeft, 20, 120, 14);
    Place<QLabel>(kIdTestWizChannelPrompt, kLeft, 42, 205, 20)->setWordWrap(true);
    for (int i = 0; i < kTestWizRows; ++i) {
        const int id = kIdTestWizFirstChannelBox + i;
        auto* box = Place<QCheckBox>(id, kLeft + 4 + (i / 5) * 104, 66 + (i % 5) * 16, 100, 12);
        box->hide();
        connect(box, &QCheckBox::clicked, this, [this, id] { OnBoxClicked(id); });
    }
    capNote_ = Place<CStatusText>(kIdTestWizCapNote, kLeft, 176, 205, 14);
    capNote_->SetTextColor(QColor(170, 0, 0));
    boxRows_.fill(-1);
}

void CTestWiz1::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    TestDefinitionRecord& def = wiz_.Definition();
    if (TestName(def) == "Undefined") {
        const std::string name = FormatResString(kStrTestNumberName, def.testId);
        SetTestName(def, name.substr(0, kTestWizMaxName));
        wiz_.SetModified();
    }
    SetItemTextLimited(kIdTestWizNameEdit, kTestWizMaxName, TestName(def));
    SetItemTextId(kIdTestWizChannelPrompt,
                  wiz_.channelWording ? kStrTestWizChannelsPrompt : kStrTestWizParametersPrompt);
    boxRows_.fill(-1);
    int box = 0;
    for (int row = 0; row < kTestWizRows; ++row) {
        const TestWizChannel& channel = wiz_.Channel(row);
        if (!channel.present) {
            continue;
        }
        auto* check = ItemAs<QCheckBox>(kIdTestWizFirstChannelBox + box);
        check->setText(Qs(channel.displayName));
        check->setChecked(channel.included != 0);
        check->show();
        boxRows_[static_cast<size_t>(box)] = row;
        ++box;
    }
    ApplyCompanionRule();
    std::string note;
    if (wiz_.capDays >= 2 && wiz_.capDays <= 29) {
        note = Printf("HDO cap expires in %d days.", wiz_.capDays);
    } else if (wiz_.capDays == 1) {
        note = "HDO cap expires in 1 day.";
    }
    capNote_->SetText(Qs(note));
}

int CTestWiz1::RowOfBox(int boxId) const
{
    const int box = boxId - kIdTestWizFirstChannelBox;
    return box >= 0 && box < kTestWizRows ? boxRows_[static_cast<size_t>(box)] : -1;
}

int CTestWiz1::OnSetActive()
{
    SetSheetTitleId(wiz_.channelWording ? kStrTestWizChannelsCaption : kStrTestWizParametersCaption);
    UpdateButtons();
    return 1;
}

void CTestWiz1::UpdateButtons()
{
    // Next needs a channel, and a channel list the definition can hold.
    bool any = false;
    for (int row = 0; row < kTestWizRows; ++row) {
        any = any || (wiz_.Channel(row).present && wiz_.Channel(row).included);
    }
    SetWizardButtons(any && wiz_.ChannelListFits() ? kWizNext : 0);
}

void CTestWiz1::OnBoxClicked(int boxId)
{
    const int row = RowOfBox(boxId);
    if (row < 0) {
        return;
    }
    const uint8_t included = ItemAs<QCheckBox>(boxId)->isChecked() ? 1 : 0;
    if (wiz_.Channel(row).included != included) {
        wiz_.Channel(row).included = included;
        wiz_.SetModified();
    }
    ApplyCompanionRule();
    wiz_.ApplyMinimumInterval();
    UpdateButtons();
}

void CTestWiz1::ApplyCompanionRule()
{
    bool compensated = false;
    if (wiz_.family30to40) {
        for (int row = 0; row < kTestWizRows; ++row) {
            const TestWizChannel& channel = wiz_.Channel(row);
            compensated = compensated ||
                          (channel.present && channel.included &&
                           std::find(std::begin(kCompensatedKinds), std::end(kCompensatedKinds), channel.kind) !=
                               std::end(kCompensatedKinds));
        }
    }
    for (int box = 0; box < kTestWizRows; ++box) {
        const int row = boxRows_[static_cast<size_t>(box)];
        if (row < 0) {
            continue;
        }
        TestWizChannel& channel = wiz_.Channel(row);
        if (channel.kind != kKindTemperature && channel.kind != kKindBarometric) {
            continue;
        }
        const int id = kIdTestWizFirstChannelBox + box;
        if (compensated) {
            if (!channel.included) {
                channel.included = 1;
                wiz_.SetModified();
            }
            ItemAs<QCheckBox>(id)->setChecked(true);
            DisableItem(id);
        } else {
            EnableItem(id);
        }
    }
}

PageNavCode CTestWiz1::OnWizardNext()
{
    TestDefinitionRecord& def = wiz_.Definition();
    bool changed = false;

    // The name, as the definition keeps it.
    TestDefinitionRecord named = def;
    SetTestName(named, GetItemTextString(kIdTestWizNameEdit));
    if (!std::equal(std::begin(named.name), std::end(named.name), std::begin(def.name))) {
        std::copy(std::begin(named.name), std::end(named.name), std::begin(def.name));
        changed = true;
    }

    // The channel list, rebuilt from the included rows. A list longer than the definition
    // holds keeps the user here (Next is disabled for it, Enter is not).
    const std::vector<uint8_t> list = wiz_.BuildChannelList();
    if (list.empty() || list.size() > kTestMaxChannels) {
        return kNavStay;
    }

    // The event channel: kept while an included row has it, else the first included
    // row's parameter id (which starts a fresh threshold).
    int firstRow = -1;
    for (int row = 0; row < kTestWizRows && firstRow < 0; ++row) {
        if (wiz_.Channel(row).present && wiz_.Channel(row).included) {
            firstRow = row;
        }
    }
    // Only an event test carries these fields: a definition of another type read from the
    // device has them empty, and filling them in is no change of that test.
    const bool eventTest = def.scheduleType == kTestScheduleEvent;
    if (!wiz_.HasIncludedParameter(def.eventChannel)) {
        def.eventChannel = static_cast<uint8_t>(wiz_.Channel(firstRow).parameterId);
        def.eventThreshold = 0.0;
        changed = changed || eventTest;
    }

    std::array<uint8_t, kTestMaxChannels> channels{};
    std::copy(list.begin(), list.end(), channels.begin());
    const auto count = static_cast<uint8_t>(list.size());
    if (eventTest) {
        MoveToFront(channels, count, def.eventChannel);
    }
    // Only the entries in use count: what lies past them is never sent.
    if (count != def.channelCount || !std::equal(channels.begin(), channels.begin() + count, def.channels.begin())) {
        changed = true;
    }
    def.channels = channels;
    def.channelCount = count;

    // Relay channels: defaults unless kept and still naming an included row.
    if (wiz_.relaysPossible) {
        for (RelayDefinitionRecord::Relay& relay : wiz_.Relays().relays) {
            const int n = relay.channel;
            const bool names = n >= 1 && n <= kTestWizRows && wiz_.Channel(n - 1).present &&
                               wiz_.Channel(n - 1).included;
            if (wiz_.relaysKept && names) {
                continue;
            }
            const auto number = static_cast<uint8_t>(firstRow + 1);
            if (relay.channel == number) {
                continue;
            }
            relay.channel = number;
            // A disabled relay's channel switches nothing: its default is no change.
            changed = changed || relay.mode != kRelayDisabled;
            if (const auto zero = wiz_.ConvertChannelValue(wiz_.FindChannelByNumber(number), 0.0, kToDeviceUnit)) {
                relay.highPoint = *zero;
                relay.lowPoint = *zero;
            }
        }
    }

    // The test types the chosen channels allow.
    bool log = !wiz_.family30to40;
    bool event = true;
    bool average = true;
    for (int row = 0; row < kTestWizRows; ++row) {
        const TestWizChannel& channel = wiz_.Channel(row);
        if (channel.present && channel.included) {
            log = log && channel.logAllowed;
            event = event && channel.eventAllowed;
            average = average && channel.averageAllowed;
        }
    }
    wiz_.logAllowed = log;
    wiz_.eventAllowed = event;
    wiz_.averageAllowed = average;

    if (changed) {
        wiz_.SetModified();
    }
    return kNavNeighbour;
}

// ---- Page 125: schedule type ---------------------------------------------------------------

CTestWiz2::CTestWiz2(CTestWiz& wiz) : CWVPropertyPage(kIdTestWizTypePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Test Type"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, 205, 20, QStringLiteral("Which type of test would you like to run?"))
        ->setWordWrap(true);
    auto* group = new QButtonGroup(this);
    const struct {
        int id;
        const char* text;
        const char* note;
        uint8_t type;
    } types[] = {
        {kIdTestWizLinear, "&Linear", "Measures at a fixed interval.", kTestScheduleLinear},
        {kIdTestWizEvent, "&Event", "Stores a measurement when a channel changes enough.", kTestScheduleEvent},
        {kIdTestWizLog, "L&og", "Measures often at first, then ever less often.", kTestScheduleLog},
        {kIdTestWizLinearAverage, "Linear &Average", "Stores the average of several quick measurements.",
         kTestScheduleLinearAverage},
    };
    int y = 36;
    for (const auto& t : types) {
        auto* radio = Place<QRadioButton>(t.id, kLeft + 10, y, 150, 12, QString::fromLatin1(t.text));
        Place<QLabel>(-1, kLeft + 22, y + 12, 185, 10, QString::fromLatin1(t.note));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, type = t.type] {
            if (wiz_.Definition().scheduleType != type) {
                SetTestType(type);
            }
        });
        y += 30;
    }
}

int CTestWiz2::OnSetActive()
{
    wiz_.eventAllowed ? EnableItem(kIdTestWizEvent) : DisableItem(kIdTestWizEvent);
    wiz_.logAllowed ? EnableItem(kIdTestWizLog) : DisableItem(kIdTestWizLog);
    const bool average = wiz_.linearAverageSupported && wiz_.averageAllowed;
    average ? EnableItem(kIdTestWizLinearAverage) : DisableItem(kIdTestWizLinearAverage);
    EnableItem(kIdTestWizLinear);

    int radio = kIdTestWizLinear;
    switch (wiz_.Definition().scheduleType) {
    case kTestScheduleEvent: radio = wiz_.eventAllowed ? kIdTestWizEvent : radio; break;
    case kTestScheduleLog: radio = wiz_.logAllowed ? kIdTestWizLog : radio; break;
    case kTestScheduleLinearAverage: radio = average ? kIdTestWizLinearAverage : radio; break;
    default: break;
    }
    if (radio == kIdTestWizLinear && wiz_.Definition().scheduleType != kTestScheduleLinear) {
        SetTestType(kTestScheduleLinear);
    }
    ItemAs<QRadioButton>(radio)->setChecked(true);
    SetWizardButtons(kWizBack | kWizNext);
    return 1;
}

void CTestWiz2::SetTestType(uint8_t type)
{
    TestDefinitionRecord& def = wiz_.Definition();
    def.scheduleType = type;
    wiz_.ApplyMinimumInterval();
    if (type == kTestScheduleEvent) {
        def.eventThreshold = 0.0;
        def.eventSetting = 2;
        // The event channel leads the list from now on, so the event page offers it first.
        wiz_.MoveEventChannelToFront();
    } else if (type == kTestScheduleLinearAverage) {
        def.logPoints = wiz_.family30to40 ? 5 : 1;
        def.averageCount = 2;
    }
    wiz_.SetModified();
}

PageNavCode CTestWiz2::OnWizardNext()
{
    switch (wiz_.Definition().scheduleType) {
    case kTestScheduleLinear: return kIdTestWizLinearPage;
    case kTestScheduleLog: return kIdTestWizLogPage;
    case kTestScheduleEvent: return kIdTestWizEventPage;
    case kTestScheduleLinearAverage: return kIdTestWizAveragePage;
    default: return kIdTestWizTypePage;
    }
}

// ---- Interval pages --------------------------------------------------------------------------

CTestWizIntervalPage::CTestWizIntervalPage(int templateId, CTestWiz& wiz, bool days, bool hundredths)
    : CWVPropertyPage(templateId), wiz_(wiz), days_(days), hundredths_(hundredths)
{
}

void CTestWizIntervalPage::PlaceIntervalEdits(int y)
{
    struct Field {
        int id;
        int labelId;
        const char* label;
        bool shown;
    };
    const Field fields[] = {
        {kIdTestWizDays, -1, "Day", days_},
        {kIdTestWizHours, -1, "Hour", true},
        {kIdTestWizMinutes, -1, "Minute", true},
        {kIdTestWizSeconds, -1, "Second", true},
        {kIdTestWizHundredths, kIdTestWizHundredthsLabel, "Hundredth", hundredths_},
    };
    int x = kLeft;
    for (const Field& f : fields) {
        if (!f.shown) {
            continue;
        }
        Place<QLabel>(f.labelId, x, y, 40, 10, QString::fromLatin1(f.label));
        auto* edit = Place<QLineEdit>(f.id, x, y + 11, 30, 14);
        edit->setMaxLength(kIntervalEditLimit);
        connect(edit, &QLineEdit::textChanged, this, [this, id = f.id] {
            if (!IsUpdating()) {
                OnIntervalEdited(id);
            }
        });
        x += 42;
    }
}

int CTestWizIntervalPage::OnSetActive()
{
    FillInterval();
    Validate();
    return 1;
}

void CTestWizIntervalPage::FillInterval()
{
    const Duration& interval = wiz_.Definition().interval;
    Updating([&] {
        if (days_) {
            SetItemIntLimited(kIdTestWizDays, kIntervalEditLimit, interval.days);
        }
        SetItemIntLimited(kIdTestWizHours, kIntervalEditLimit, interval.hours);
        SetItemIntLimited(kIdTestWizMinutes, kIntervalEditLimit, interval.minutes);
        SetItemIntLimited(kIdTestWizSeconds, kIntervalEditLimit, interval.seconds);
        if (hundredths_) {
            SetItemIntLimited(kIdTestWizHundredths, kIntervalEditLimit, interval.hundredths);
        }
    });
}

std::optional<int> CTestWizIntervalPage::ReadInt(int id) const
{
    const std::string text = GetItemTextString(id);
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    size_t i = first;
    if (text[i] == '-' || text[i] == '+') {
        ++i;
    }
    const auto last = text.find_last_not_of(" \t");
    if (i > last) {
        return std::nullopt;
    }
    long long value = 0;
    for (; i <= last; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) || value > 100'000'000) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return static_cast<int>(text[first] == '-' ? -value : value);
}

void CTestWizIntervalPage::OnIntervalEdited(int editedId)
{
    const Duration& stored = wiz_.Definition().interval;
    // The typed numbers, not their low bytes (300 hours is more than the cap, not 44
    // hours); a field that holds no number keeps its stored value.
    const auto field = [this](int id, bool shown, int storedValue) -> int64_t {
        if (!shown) {
            return 0;
        }
        const std::optional<int> typed = ReadInt(id);
        return typed ? std::max(*typed, 0) : storedValue;
    };
    const bool hundredths = hundredths_ && wiz_.hundredthsSupported;
    wiz_.SetInterval(field(kIdTestWizDays, days_, stored.days), field(kIdTestWizHours, true, stored.hours),
                     field(kIdTestWizMinutes, true, stored.minutes), field(kIdTestWizSeconds, true, stored.seconds),
                     field(kIdTestWizHundredths, hundredths, stored.hundredths));
    const Duration& interval = wiz_.Definition().interval;
    if (days_) {
        SetItemIntIfChanged(kIdTestWizDays, interval.days, editedId);
    }
    SetItemIntIfChanged(kIdTestWizHours, interval.hours, editedId);
    SetItemIntIfChanged(kIdTestWizMinutes, interval.minutes, editedId);
    SetItemIntIfChanged(kIdTestWizSeconds, interval.seconds, editedId);
    if (hundredths) {
        SetItemIntIfChanged(kIdTestWizHundredths, interval.hundredths, editedId);
    }
    Validate();
}

bool CTestWizIntervalPage::IsCurrentPage() const
{
    return GetSheet() != nullptr && GetSheet()->GetPage(GetSheet()->GetCurrentIndex()) == this;
}

void CTestWizIntervalPage::Validate()
{
    if (IsCurrentPage()) {
        SetWizardButtons(IsValid() ? kWizBack | kWizNext : kWizBack);
    }
}

bool CTestWizIntervalPage::IntervalMeetsChannels() const
{
    return wiz_.StoredIntervalHundredths() >= wiz_.GetMinChannelInterval();
}

bool CTestWizIntervalPage::IsValid() const { return IntervalMeetsChannels(); }

// Page 126: linear.
CTestWiz3::CTestWiz3(CTestWiz& wiz) : CTestWizIntervalPage(kIdTestWizLinearPage, wiz, true, true)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Measurement Interval"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, 205, 20, QStringLiteral("How often should the test take a measurement?"))
        ->setWordWrap(true);
    PlaceIntervalEdits(40);
}

int CTestWiz3::OnSetActive()
{
    for (int id : {kIdTestWizHundredthsLabel, kIdTestWizHundredths}) {
        wiz_.hundredthsSupported ? ShowItem(id) : HideItem(id);
    }
    return CTestWizIntervalPage::OnSetActive();
}

PageNavCode CTestWiz3::OnWizardNext()
{
    return wiz_.relaysPossible ? kIdTestWizRelayAskPage : kIdTestWizStartPage;
}

// Page 127: logarithmic.
CTestWiz4::CTestWiz4(CTestWiz& wiz) : CTestWizIntervalPage(kIdTestWizLogPage, wiz, false, false)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Measurement Interval"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, 205, 20, QStringLiteral("Interval at which log schedule becomes linear:"))
        ->setWordWrap(true);
    PlaceIntervalEdits(40);
}

PageNavCode CTestWiz4::OnWizardNext()
{
    return wiz_.relaysPossible ? kIdTestWizRelayAskPage : kIdTestWizStartPage;
}

// Page 128: linear average.
CTestWiz5::CTestWiz5(CTestWiz& wiz) : CTestWizIntervalPage(kIdTestWizAveragePage, wiz, true, false)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Measurement Interval"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 8, 205, 10, QStringLiteral("Interval between stored averages (A):"));
    PlaceIntervalEdits(22);
    Place<QLabel>(kIdTestWizAveragePeriodLabel, kLeft, 64, 170, 10);
    Place<QLineEdit>(kIdTestWizAveragePeriod, kLeft + 172, 62, 30, 14)->setMaxLength(kPeriodEditLimit);
    Place<QLabel>(-1, kLeft, 84, 170, 10, QStringLiteral("Number of samples to average (2 - 99):"));
    Place<QLineEdit>(kIdTestWizAverageCount, kLeft + 172, 82, 30, 14)->setMaxLength(kCountEditLimit);
    Place<QLabel>(-1, kLeft, 106, 205, 10, QStringLiteral("A >= 2 (B x C)"));
    for (int id : {kIdTestWizAveragePeriod, kIdTestWizAverageCount}) {
        connect(ItemAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this, id] {
            if (!IsUpdating()) {
                OnAveragingEdited(id);
            }
        });
    }
}

int CTestWiz5::MinAveragePeriod() const { return wiz_.family30to40 ? 5 : 1; }

int CTestWiz5::OnSetActive()
{
    const TestDefinitionRecord& def = wiz_.Definition();
    ItemAs<QLabel>(kIdTestWizAveragePeriodLabel)
        ->setText(Qs(Printf("Seconds between averaging samples (%d - 255):", MinAveragePeriod())));
    period_ = def.logPoints;
    count_ = def.averageCount;
    Updating([&] {
        SetItemIntLimited(kIdTestWizAveragePeriod, kPeriodEditLimit, def.logPoints);
        SetItemIntLimited(kIdTestWizAverageCount, kCountEditLimit, def.averageCount);
    });
    return CTestWizIntervalPage::OnSetActive();
}

void CTestWiz5::OnAveragingEdited(int id)
{
    TestDefinitionRecord& def = wiz_.Definition();
    uint8_t& stored = id == kIdTestWizAveragePeriod ? def.logPoints : def.averageCount;
    int& typed = id == kIdTestWizAveragePeriod ? period_ : count_;
    const std::optional<int> value = ReadInt(id);
    if (!value) {
        typed = stored;
        SetItemIntIfChanged(id, stored, id);
    } else {
        // A number outside the byte is not stored (it would wrap); it keeps the page
        // invalid while it stands.
        typed = *value;
        if (*value >= 0 && *value <= 255 && *value != stored) {
            stored = static_cast<uint8_t>(*value);
            wiz_.SetModified();
        }
    }
    Validate();
}

bool CTestWiz5::IsValid() const
{
    const TestDefinitionRecord& def = wiz_.Definition();
    if (period_ != def.logPoints || count_ != def.averageCount) {
        return false;
    }
    return def.logPoints >= MinAveragePeriod() && def.averageCount >= 2 && def.averageCount <= 99 &&
           wiz_.StoredIntervalHundredths() >= int64_t{200} * def.logPoints * def.averageCount;
}

// Page 129: event.
CTestWiz6::CTestWiz6(CTestWiz& wiz) : CTestWizIntervalPage(kIdTestWizEventPage, wiz, true, false)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Measurement Interval"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 8, 205, 10, QStringLiteral("How often should the event channel be checked?"));
    PlaceIntervalEdits(22);
    Place<QLabel>(-1, kLeft, 64, 80, 10, QStringLiteral("Event channel:"));
    Place<QComboBox>(kIdTestWizEventChannel, kLeft + 82, 62, 122, 14);
    Place<QLabel>(-1, kLeft, 84, 80, 10, QStringLiteral("Change to store:"));
    Place<QLineEdit>(kIdTestWizEventDelta, kLeft + 82, 82, 70, 14)->setMaxLength(kDeltaEditLimit);
    Place<QLabel>(kIdTestWizEventUnits, kLeft + 156, 84, 50, 10);
    Place<QLabel>(-1, kLeft, 104, 150, 20,
                  QStringLiteral("Store a measurement at least every this many measurements (2 - 99):"))
        ->setWordWrap(true);
    Place<QLineEdit>(kIdTestWizDefaultStore, kLeft + 156, 106, 30, 14)->setMaxLength(kCountEditLimit);

    connect(ItemAs<QComboBox>(kIdTestWizEventChannel), &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating()) {
            OnChannelChosen();
        }
    });
    connect(ItemAs<QLineEdit>(kIdTestWizEventDelta), &QLineEdit::textChanged, this, [this] {
        if (!IsUpdating()) {
            OnDeltaEdited();
        }
    });
    connect(ItemAs<QLineEdit>(kIdTestWizDefaultStore), &QLineEdit::textChanged, this, [this] {
        if (!IsUpdating()) {
            OnDefaultStoreEdited();
        }
    });
    ItemAs<QLineEdit>(kIdTestWizEventDelta)->installEventFilter(this);
}

bool CTestWiz6::IsExcludedEventChannel(int row) const
{
    const TestWizChannel& channel = wiz_.Channel(row);
    const int id = channel.parameterId;
    if ((id == 16 || id == 17 || id == 25 || id == 36 || id == 37) && channel.displayUnit == 2) {
        return true;
    }
    return id == 45 && (channel.displayUnit == 3 || channel.displayUnit == 4);
}

int CTestWiz6::OnSetActive()
{
    FillEventItems();
    defaultStore_ = wiz_.Definition().eventSetting;
    Updating([&] { SetItemIntLimited(kIdTestWizDefaultStore, kCountEditLimit, defaultStore_); });
    return CTestWizIntervalPage::OnSetActive();
}

void CTestWiz6::FillEventItems()
{
    const TestDefinitionRecord& def = wiz_.Definition();
    auto* combo = ItemAs<QComboBox>(kIdTestWizEventChannel);
    Updating([&] {
        combo->clear();
        const size_t count = std::min<size_t>(def.channelCount, kTestMaxChannels);
        for (size_t p = 1; p < count; ++p) {
            const int id = def.channels[p];
            if (id >= 100 || !wiz_.HasIncludedParameter(id)) {
                continue;
            }
            const int row = wiz_.FindChannelByParameter(id);
            const QString name = Qs(wiz_.Channel(row).displayName);
            if (!IsExcludedEventChannel(row) && combo->findText(name, Qt::MatchExactly) < 0) {
                AddSorted(combo, name);
            }
        }
        eventShown_ = false;
        if (count > 0 && wiz_.HasIncludedParameter(def.channels[0])) {
            const int row = wiz_.FindChannelByParameter(def.channels[0]);
            if (!IsExcludedEventChannel(row)) {
                const QString name = Qs(wiz_.Channel(row).displayName);
                int at = combo->findText(name, Qt::MatchExactly);
                if (at < 0) {
                    at = AddSorted(combo, name);
                }
                combo->setCurrentIndex(at);
                eventShown_ = true;
            }
        }
        if (!eventShown_) {
            combo->setCurrentIndex(-1);
        }
    });
    RefreshDelta();
}

void CTestWiz6::RefreshDelta()
{
    deltaRefused_ = false;
    std::string text;
    std::string units;
    if (eventShown_) {
        const TestDefinitionRecord& def = wiz_.Definition();
        const int row = wiz_.FindChannelByParameter(def.eventChannel);
        if (const auto shown = wiz_.ConvertChannelDelta(row, def.eventThreshold, kToDisplayUnit)) {
            text = FormatDoubleC(*shown, kNumberFormat);
        }
        units = wiz_.Channel(row).unitsText;
    }
    Updating([&] { SetItemTextLimited(kIdTestWizEventDelta, kDeltaEditLimit, text); });
    ItemAs<QLabel>(kIdTestWizEventUnits)->setText(Qs(units));
}

void CTestWiz6::OnChannelChosen()
{
    TestDefinitionRecord& def = wiz_.Definition();
    const std::string chosen = GetItemTextString(kIdTestWizEventChannel);
    for (int row = 0; row < kTestWizRows; ++row) {
        const TestWizChannel& channel = wiz_.Channel(row);
        if (channel.present && channel.included && channel.displayName == chosen) {
            if (def.eventChannel != channel.parameterId) {
                def.eventChannel = static_cast<uint8_t>(channel.parameterId);
                wiz_.SetModified();
            }
            break;
        }
    }
    wiz_.MoveEventChannelToFront();
    if (def.eventThreshold != 0.0) {
        def.eventThreshold = 0.0;
        wiz_.SetModified();
    }
    eventShown_ = wiz_.HasIncludedParameter(def.eventChannel) &&
                  !IsExcludedEventChannel(wiz_.FindChannelByParameter(def.eventChannel));
    RefreshDelta();
    Validate();
}

void CTestWiz6::OnDeltaEdited()
{
    deltaRefused_ = false;
    if (!eventShown_) {
        Validate();
        return;
    }
    TestDefinitionRecord& def = wiz_.Definition();
    const int row = wiz_.FindChannelByParameter(def.eventChannel);
    double typed = 0.0;
    if (ScanItem(GetItemTextString(kIdTestWizEventDelta), typed) == 1) {
        const auto device = wiz_.ConvertChannelDelta(row, typed, kToDeviceUnit);
        if (!device) {
            // Nothing the device could keep: the stored threshold stays and the typed text
            // stands, so the page stays invalid until it is corrected.
            deltaRefused_ = true;
            Validate();
            return;
        }
        if (*device != def.eventThreshold) {
            def.eventThreshold = *device;
            wiz_.SetModified();
        }
    }
    if (const auto shown = wiz_.ConvertChannelDelta(row, def.eventThreshold, kToDisplayUnit)) {
        UpdateNumericItem(kIdTestWizEventDelta, *shown, kNumberFormat, kIdTestWizEventDelta);
    }
    Validate();
}

void CTestWiz6::OnDefaultStoreEdited()
{
    uint8_t& stored = wiz_.Definition().eventSetting;
    const std::optional<int> value = ReadInt(kIdTestWizDefaultStore);
    if (!value) {
        defaultStore_ = stored;
        SetItemIntIfChanged(kIdTestWizDefaultStore, stored, kIdTestWizDefaultStore);
    } else {
        defaultStore_ = *value;
        if (*value >= 0 && *value <= 255 && *value != stored) {
            stored = static_cast<uint8_t>(*value);
            wiz_.SetModified();
        }
    }
    Validate();
}

bool CTestWiz6::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched == Item(kIdTestWizEventDelta) && isVisible()) {
        RefreshDelta();
        Validate();
    }
    return CTestWizIntervalPage::eventFilter(watched, event);
}

bool CTestWiz6::IsValid() const
{
    const TestDefinitionRecord& def = wiz_.Definition();
    if (!IntervalMeetsChannels() || !eventShown_ || deltaRefused_) {
        return false;
    }
    const auto shown =
        wiz_.ConvertChannelDelta(wiz_.FindChannelByParameter(def.eventChannel), def.eventThreshold, kToDisplayUnit);
    return shown && *shown > 0.0 && !IsSignOnlyText(GetItemTextString(kIdTestWizEventDelta)) &&
           defaultStore_ == def.eventSetting && def.eventSetting >= 2 && def.eventSetting <= 99;
}

PageNavCode CTestWiz6::OnWizardNext()
{
    return wiz_.relaysPossible ? kIdTestWizRelayAskPage : kIdTestWizStartPage;
}

// ---- Page 130: relays or not -----------------------------------------------------------------

CTestWiz7::CTestWiz7(CTestWiz& wiz) : CWVPropertyPage(kIdTestWizRelayAskPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Ostrel 3000 Relay Inclusion"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 8, 205, 10, QStringLiteral("Would you like to set the relays for this test?"));
    auto* group = new QButtonGroup(this);
    group->addButton(Place<QRadioButton>(kIdTestWizRelaysNo, kLeft + 10, 24, 60, 12, QStringLiteral("&No")));
    group->addButton(Place<QRadioButton>(kIdTestWizRelaysYes, kLeft + 80, 24, 60, 12, QStringLiteral("&Yes")));
    Place<QLabel>(kIdTestWizRelayNote1, kLeft, 46, 205, 30,
                  QStringLiteral("The OSTREL 3000 has two relay switches that can be programmed to turn external "
                                 "equipment (pump, alarm, etc.) on or off based on measurements. "))
        ->setWordWrap(true);
    Place<QLabel>(kIdTestWizRelayNote2, kLeft, 80, 205, 20,
                  QStringLiteral("Each relay can be set to switch at a specific high or low value from a "
                                 "designated channel. "))
        ->setWordWrap(true);
    Place<QLabel>(kIdTestWizRelayNote3, kLeft, 104, 205, 30,
                  QStringLiteral("The relay cable and its wiring instructions are available from Varnok Inc. "
                                 "Contact your Varnok representative to order them."))
        ->setWordWrap(true);
    connect(ItemAs<QRadioButton>(kIdTestWizRelaysNo), &QRadioButton::clicked, this, &CTestWiz7::OnNo);
    connect(ItemAs<QRadioButton>(kIdTestWizRelaysYes), &QRadioButton::clicked, this, &CTestWiz7::OnYes);
}

void CTestWiz7::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    ItemAs<QRadioButton>(wiz_.relaysOn ? kIdTestWizRelaysYes : kIdTestWizRelaysNo)->setChecked(true);
    ShowNotes(wiz_.relaysOn);
}

int CTestWiz7::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizNext);
    return 1;
}

void CTestWiz7::ShowNotes(bool show)
{
    for (int id : {kIdTestWizRelayNote1, kIdTestWizRelayNote2, kIdTestWizRelayNote3}) {
        show ? ShowItem(id) : HideItem(id);
    }
}

void CTestWiz7::OnNo()
{
    if (wiz_.relaysOn) {
        wiz_.relaysOn = false;
        wiz_.SetModified();
        ShowNotes(false);
    }
}

void CTestWiz7::OnYes()
{
    if (wiz_.relaysOn) {
        return;
    }
    for (RelayDefinitionRecord::Relay& relay : wiz_.Relays().relays) {
        if (const auto zero = wiz_.ConvertChannelValue(wiz_.FindChannelByNumber(relay.channel), 0.0, kToDeviceUnit)) {
            relay.highPoint = *zero;
            relay.lowPoint = *zero;
        }
    }
    wiz_.relaysOn = true;
    wiz_.SetModified();
    ShowNotes(true);
}

PageNavCode CTestWiz7::OnWizardNext()
{
    if (ItemAs<QRadioButton>(kIdTestWizRelaysYes)->isChecked()) {
        return kIdTestWizRelayPage;
    }
    for (RelayDefinitionRecord::Relay& relay : wiz_.Relays().relays) {
        if (relay.mode != kRelayDisabled) {
            relay.mode = kRelayDisabled;
            wiz_.SetModified();
        }
    }
    return kIdTestWizStartPage;
}

PageNavCode CTestWiz7::OnWizardBack()
{
    switch (wiz_.Definition().scheduleType) {
    case kTestScheduleLinear: return kIdTestWizLinearPage;
    case kTestScheduleLog: return kIdTestWizLogPage;
    case kTestScheduleEvent: return kIdTestWizEventPage;
    default: return kIdTestWizRelayAskPage;
    }
}

// ---- Page 131: relay settings ------------------------------------------------------------------

namespace {
constexpr int kRelayDetailIds[] = {kIdTestWizSwitchHigh,     kIdTestWizSwitchLow,        kIdTestWizRelayChannel,
                                   kIdTestWizHighPoint,      kIdTestWizLowPoint,         kIdTestWizRelayChannelLabel,
                                   kIdTestWizHighPointLabel, kIdTestWizLowPointLabel,    kIdTestWizHighUnits,
                                   kIdTestWizLowUnits};
} // namespace

CTestWiz8::CTestWiz8(CTestWiz& wiz) : CWVPropertyPage(kIdTestWizRelayPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Set Test Relay Information"));
    AddSidePanel(kPanelWidth, 200);
    Place<QComboBox>(kIdTestWizRelayChoice, kLeft, 8, 80, 14);
    auto* state = new QButtonGroup(this);
    state->addButton(Place<QRadioButton>(kIdTestWizRelayDisabled, kLeft + 10, 28, 70, 12, QStringLiteral("&Disabled")));
    state->addButton(Place<QRadioButton>(kIdTestWizRelayEnabled, kLeft + 90, 28, 70, 12, QStringLiteral("&Enabled")));
    auto* direction = new QButtonGroup(this);
    direction->addButton(
        Place<QRadioButton>(kIdTestWizSwitchHigh, kLeft + 10, 46, 90, 12, QStringLiteral("Switch &High")));
    direction->addButton(Place<QRadioButton>(kIdTestWizSwitchLow, kLeft + 110, 46, 90, 12, QStringLiteral("Switch &Low")));
    Place<QLabel>(kIdTestWizRelayChannelLabel, kLeft, 66, 50, 10, QStringLiteral("Channel:"));
    Place<QComboBox>(kIdTestWizRelayChannel, kLeft + 52, 64, 150, 14);
    Place<QLabel>(kIdTestWizHighPointLabel, kLeft, 88, 50, 10, QStringLiteral("High Point:"));
    Place<QLineEdit>(kIdTestWizHighPoint, kLeft + 52, 86, 80, 14)->setMaxLength(kPointEditLimit);
    Place<QLabel>(kIdTestWizHighUnits, kLeft + 136, 88, 60, 10);
    Place<QLabel>(kIdTestWizLowPointLabel, kLeft, 108, 50, 10, QStringLiteral("Low Point:"));
    Place<QLineEdit>(kIdTestWizLowPoint, kLeft + 52, 106, 80, 14)->setMaxLength(kPointEditLimit);
    Place<QLabel>(kIdTestWizLowUnits, kLeft + 136, 108, 60, 10);

    connect(ItemAs<QComboBox>(kIdTestWizRelayChoice), &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating()) {
            ShowRelay();
            Validate();
        }
    });
    connect(ItemAs<QRadioButton>(kIdTestWizRelayDisabled), &QRadioButton::clicked, this, &CTestWiz8::OnDisabled);
    connect(ItemAs<QRadioButton>(kIdTestWizRelayEnabled), &QRadioButton::clicked, this, &CTestWiz8::OnEnabled);
    connect(ItemAs<QRadioButton>(kIdTestWizSwitchHigh), &QRadioButton::clicked, this,
            [this] { OnSwitch(kRelaySwitchHigh); });
    connect(ItemAs<QRadioButton>(kIdTestWizSwitchLow), &QRadioButton::clicked, this,
            [this] { OnSwitch(kRelaySwitchLow); });
    connect(ItemAs<QComboBox>(kIdTestWizRelayChannel), &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating()) {
            OnChannelChosen();
        }
    });
    for (int id : {kIdTestWizHighPoint, kIdTestWizLowPoint}) {
        connect(ItemAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this, id] {
            if (!IsUpdating()) {
                OnPointEdited(id);
            }
        });
        ItemAs<QLineEdit>(id)->installEventFilter(this);
    }
}

void CTestWiz8::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    // Relay 1 is named in the form of "Relay 2".
    std::string second(GetResString(kStrRelay2));
    std::string first = second;
    if (!first.empty()) {
        first.back() = '1';
    }
    auto* combo = ItemAs<QComboBox>(kIdTestWizRelayChoice);
    Updating([&] {
        combo->clear();
        AddSorted(combo, Qs(first));
        AddSorted(combo, Qs(second));
        combo->setCurrentIndex(0);
    });
}

int CTestWiz8::CurrentRelay() const { return GetComboCurSel(kIdTestWizRelayChoice) == 1 ? 1 : 0; }

int CTestWiz8::OnSetActive()
{
    const TestDefinitionRecord& def = wiz_.Definition();
    auto* combo = ItemAs<QComboBox>(kIdTestWizRelayChannel);
    Updating([&] {
        combo->clear();
        const size_t count = std::min<size_t>(def.channelCount, kTestMaxChannels);
        for (size_t p = 0; p < count; ++p) {
            if (!wiz_.HasIncludedParameter(def.channels[p])) {
                continue;
            }
            const QString name = Qs(wiz_.Channel(wiz_.FindChannelByParameter(def.channels[p])).displayName);
            if (combo->findText(name, Qt::MatchExactly) < 0) {
                AddSorted(combo, name);
            }
        }
        combo->setCurrentIndex(-1);
    });
    ShowRelay();
    Validate();
    return 1;
}

void CTestWiz8::ShowDetails(bool show)
{
    for (int id : kRelayDetailIds) {
        show ? ShowItem(id) : HideItem(id);
    }
}

void CTestWiz8::ShowRelay()
{
    const RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    if (relay.mode == kRelayDisabled) {
        ItemAs<QRadioButton>(kIdTestWizRelayDisabled)->setChecked(true);
        ShowDetails(false);
        refused_ = {};
        return;
    }
    ItemAs<QRadioButton>(kIdTestWizRelayEnabled)->setChecked(true);
    ShowDetails(true);
    if (relay.mode == kRelaySwitchHigh) {
        ItemAs<QRadioButton>(kIdTestWizSwitchHigh)->setChecked(true);
    } else if (relay.mode == kRelaySwitchLow) {
        ItemAs<QRadioButton>(kIdTestWizSwitchLow)->setChecked(true);
    }
    Updating([&] {
        if (SelectComboString(kIdTestWizRelayChannel, std::to_string(relay.channel)) < 0) {
            SetComboCurSel(kIdTestWizRelayChannel, -1);
        }
    });
    RefreshPoints();
}

void CTestWiz8::RefreshPoints()
{
    const RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    const int row = wiz_.FindChannelByNumber(relay.channel);
    const auto text = [&](double point) {
        const auto shown = wiz_.ConvertChannelValue(row, point, kToDisplayUnit);
        return shown ? FormatDoubleC(*shown, kNumberFormat) : std::string();
    };
    refused_ = {};
    Updating([&] {
        SetItemTextLimited(kIdTestWizHighPoint, kPointEditLimit, text(relay.highPoint));
        SetItemTextLimited(kIdTestWizLowPoint, kPointEditLimit, text(relay.lowPoint));
    });
    const QString units = Qs(wiz_.Channel(row).unitsText);
    ItemAs<QLabel>(kIdTestWizHighUnits)->setText(units);
    ItemAs<QLabel>(kIdTestWizLowUnits)->setText(units);
}

void CTestWiz8::OnDisabled()
{
    RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    if (relay.mode != kRelayDisabled) {
        relay.mode = kRelayDisabled;
        wiz_.SetModified();
    }
    ShowDetails(false);
    refused_ = {};
    Validate();
}

void CTestWiz8::OnEnabled()
{
    RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    if (relay.mode != kRelaySwitchHigh && relay.mode != kRelaySwitchLow) {
        relay.mode = kRelaySwitchHigh;
        wiz_.SetModified();
    }
    ShowRelay();
    Validate();
}

void CTestWiz8::OnSwitch(uint8_t mode)
{
    RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    if (relay.mode != mode) {
        relay.mode = mode;
        wiz_.SetModified();
    }
}

void CTestWiz8::OnChannelChosen()
{
    RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    const std::string chosen = GetItemTextString(kIdTestWizRelayChannel);
    // Devices with relays have at most eight channels.
    for (int row = 0; row < 8; ++row) {
        if (wiz_.Channel(row).displayName == chosen) {
            const auto number = static_cast<uint8_t>(row + 1);
            if (relay.channel != number) {
                relay.channel = number;
                wiz_.SetModified();
            }
            break;
        }
    }
    if (const auto zero = wiz_.ConvertChannelValue(wiz_.FindChannelByNumber(relay.channel), 0.0, kToDeviceUnit)) {
        bool changed = false;
        Store(relay.highPoint, *zero, changed);
        Store(relay.lowPoint, *zero, changed);
        if (changed) {
            wiz_.SetModified();
        }
    }
    RefreshPoints();
    Validate();
}

void CTestWiz8::OnPointEdited(int id)
{
    RelayDefinitionRecord::Relay& relay = wiz_.Relays().relays[CurrentRelay()];
    const size_t which = id == kIdTestWizHighPoint ? 0 : 1;
    double& stored = which == 0 ? relay.highPoint : relay.lowPoint;
    const int row = wiz_.FindChannelByNumber(relay.channel);
    refused_[which] = false;
    double typed = 0.0;
    if (ScanItem(GetItemTextString(id), typed) == 1) {
        const auto device = wiz_.ConvertChannelValue(row, typed, kToDeviceUnit);
        if (!device) {
            refused_[which] = true;
            Validate();
            return;
        }
        if (*device != stored) {
            stored = *device;
            wiz_.SetModified();
        }
    }
    if (const auto shown = wiz_.ConvertChannelValue(row, stored, kToDisplayUnit)) {
        UpdateNumericItem(id, *shown, kNumberFormat, id);
    }
    Validate();
}

bool CTestWiz8::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && isVisible() &&
        (watched == Item(kIdTestWizHighPoint) || watched == Item(kIdTestWizLowPoint)) &&
        wiz_.Relays().relays[CurrentRelay()].mode != kRelayDisabled) {
        RefreshPoints();
        Validate();
    }
    return CWVPropertyPage::eventFilter(watched, event);
}

void CTestWiz8::Validate()
{
    if (GetSheet() == nullptr || GetSheet()->GetPage(GetSheet()->GetCurrentIndex()) != this) {
        return;
    }
    bool valid = !IsSignOnlyText(GetItemTextString(kIdTestWizHighPoint)) &&
                 !IsSignOnlyText(GetItemTextString(kIdTestWizLowPoint));
    // Points that could not be stored, or that cannot be shown, keep the user here.
    for (const RelayDefinitionRecord::Relay& relay : wiz_.Relays().relays) {
        if (relay.mode == kRelayDisabled) {
            continue;
        }
        const int row = wiz_.FindChannelByNumber(relay.channel);
        valid = valid && wiz_.ConvertChannelValue(row, relay.highPoint, kToDisplayUnit).has_value() &&
                wiz_.ConvertChannelValue(row, relay.lowPoint, kToDisplayUnit).has_value();
    }
    valid = valid && !refused_[0] && !refused_[1];
    SetWizardButtons(valid ? kWizBack | kWizNext : kWizBack);
}

// ---- Page 132: start mode ----------------------------------------------------------------------

CTestWiz9::CTestWiz9(CTestWiz& wiz) : CWVPropertyPage(kIdTestWizStartPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Test Wizard - Choose Test Start Mode"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 8, 205, 10, QStringLiteral("How should the test be started?"));
    auto* group = new QButtonGroup(this);
    group->addButton(Place<QRadioButton>(kIdTestWizManualStart, kLeft + 10, 24, 150, 12, QStringLiteral("&Manual Start")));
    group->addButton(
        Place<QRadioButton>(kIdTestWizScheduledStart, kLeft + 10, 40, 150, 12, QStringLiteral("&Scheduled Start")));
    Place<QLabel>(kIdTestWizStartPrompt, kLeft + 22, 58, 180, 10, QStringLiteral("Start the test on:"));
    Place<QLabel>(-1, kLeft + 22, 74, 30, 10, QStringLiteral("Date:"));
    Place<QDateTimeEdit>(kIdTestWizDatePicker, kLeft + 54, 72, 80, 14);
    Place<QLabel>(-1, kLeft + 22, 92, 30, 10, QStringLiteral("Time:"));
    Place<QDateTimeEdit>(kIdTestWizTimePicker, kLeft + 54, 90, 150, 14);
    connect(ItemAs<QRadioButton>(kIdTestWizManualStart), &QRadioButton::clicked, this,
            [this] { SetMode(kTestStartManual); });
    connect(ItemAs<QRadioButton>(kIdTestWizScheduledStart), &QRadioButton::clicked, this,
            [this] { SetMode(kTestStartScheduled); });
    for (int id : {kIdTestWizDatePicker, kIdTestWizTimePicker}) {
        connect(ItemAs<QDateTimeEdit>(id), &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (!IsUpdating()) {
                Validate();
            }
        });
    }
}

DeviceTime CTestWiz9::PresetStart(const wv::OleDateTime& deviceTime)
{
    DeviceTime start;
    OleDateTimeToDeviceTime(deviceTime, start);
    AddLongDuration(start, Duration{0, 0, 10, 0, 0});
    start.minute = 0;
    start.second = 0;
    start.hundredths = 0;
    AddLongDuration(start, Duration{0, 1, 0, 0, 0});
    return start;
}

void CTestWiz9::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    // A new format or range moves a picker's value: no handler may store the start from
    // pickers that do not show it yet.
    Updating([&] {
        SetDateTimeFormat(kIdTestWizTimePicker, "HH:mm:ss  -or-  hh:mm:ss tt");
        auto* timePicker = ItemAs<QDateTimeEdit>(kIdTestWizTimePicker);
        if (timePicker->displayFormat().isEmpty() || timePicker->currentSectionIndex() < 0) {
            SetDateTimeFormat(kIdTestWizTimePicker, "HH:mm:ss");
        }
        SetDateTimeFormat(kIdTestWizDatePicker, "dd-MMM-yy");
        SetDateTimeRange(kIdTestWizDatePicker, wiz_.GetDeviceTime(), wv::OleDateTime(2059, 12, 31, 23, 59, 59));
    });

    // A test without a scheduled start is offered the whole hour after the device's time
    // plus 10 minutes. The preset lives in the pickers: it becomes the definition's only
    // when the user schedules the start.
    const TestDefinitionRecord& def = wiz_.Definition();
    DeviceTime shown = def.scheduledStart;
    wv::OleDateTime start;
    DeviceTimeToOleDateTime(shown, start);
    if (def.state != kTestStartScheduled || !start.IsValid()) {
        shown = PresetStart(wiz_.GetDeviceTime());
        DeviceTimeToOleDateTime(shown, start);
    }
    SetDateTime(kIdTestWizDatePicker, start);
    SetDateTime(kIdTestWizTimePicker, start);
    const bool scheduled = def.state == kTestStartScheduled;
    ItemAs<QRadioButton>(scheduled ? kIdTestWizScheduledStart : kIdTestWizManualStart)->setChecked(true);
    EnablePickers(scheduled);
}

void CTestWiz9::EnablePickers(bool enable)
{
    for (int id : {kIdTestWizStartPrompt, kIdTestWizTimePicker, kIdTestWizDatePicker}) {
        enable ? EnableItem(id) : DisableItem(id);
    }
}

int CTestWiz9::OnSetActive()
{
    Validate();
    return 1;
}

void CTestWiz9::SetMode(uint8_t mode)
{
    TestDefinitionRecord& def = wiz_.Definition();
    if (def.state != mode) {
        def.state = mode;
        wiz_.SetModified();
    }
    EnablePickers(mode == kTestStartScheduled);
    // Finish follows the mode at once: a manual start is always valid.
    Validate();
}

void CTestWiz9::StoreStart()
{
    TestDefinitionRecord& def = wiz_.Definition();
    bool changed = false;
    if (def.state != kTestStartScheduled) {
        // A manual start ignores the scheduled start: clearing it is no change of the test
        // (the switch to manual is one already).
        def.scheduledStart = kStartNotSet;
    } else {
        wv::OleDateTime time;
        wv::OleDateTime date;
        if (GetDateTime(kIdTestWizTimePicker, time) && GetDateTime(kIdTestWizDatePicker, date)) {
            DeviceTime& start = def.scheduledStart;
            Store(start.hour, static_cast<uint8_t>(time.GetHour()), changed);
            Store(start.minute, static_cast<uint8_t>(time.GetMinute()), changed);
            Store(start.second, static_cast<uint8_t>(time.GetSecond()), changed);
            Store(start.hundredths, uint8_t{0}, changed);
            Store(start.month, static_cast<uint8_t>(date.GetMonth()), changed);
            Store(start.day, static_cast<uint8_t>(date.GetDay()), changed);
            Store(start.year, static_cast<uint16_t>(date.GetYear()), changed);
        }
    }
    if (changed) {
        wiz_.SetModified();
    }
}

void CTestWiz9::Validate()
{
    StoreStart();
    if (GetSheet() != nullptr && GetSheet()->GetPage(GetSheet()->GetCurrentIndex()) == this) {
        SetWizardButtons(wiz_.IsStartTimeValid() ? kWizBack | kWizFinish : kWizBack);
    }
}

PageNavCode CTestWiz9::OnWizardBack()
{
    StoreStart();
    wiz_.relaysKept = true;
    if (wiz_.relaysOn) {
        return kIdTestWizRelayPage;
    }
    if (wiz_.relaysPossible) {
        return kIdTestWizRelayAskPage;
    }
    switch (wiz_.Definition().scheduleType) {
    case kTestScheduleLog: return kIdTestWizLogPage;
    case kTestScheduleEvent: return kIdTestWizEventPage;
    case kTestScheduleLinearAverage: return kIdTestWizAveragePage;
    case kTestScheduleLinear: return kIdTestWizLinearPage;
    default: return kIdTestWizStartPage;
    }
}

int CTestWiz9::OnWizardFinish()
{
    StoreStart();
    return 1;
}

// ---- The sheet -----------------------------------------------------------------------------------

CTestWiz::CTestWiz(CQorDevice* device, QWidget* parent, int startPage)
    : CWVPropertySheet(parent, startPage),
      device_(device),
      page1_(*this),
      page2_(*this),
      page3_(*this),
      page4_(*this),
      page5_(*this),
      page6_(*this),
      page7_(*this),
      page8_(*this),
      page9_(*this)
{
    if (device_ != nullptr) {
        PromptBarometricSettings(*device_, true);
    }
    Init();
    AddPage(&page1_);
    AddPage(&page2_);
    AddPage(&page3_);
    AddPage(&page4_);
    AddPage(&page5_);
    AddPage(&page6_);
    AddPage(&page7_);
    AddPage(&page8_);
    AddPage(&page9_);
}

CTestWiz::~CTestWiz() = default;

void CTestWiz::Init()
{
    def_ = TestDefinitionRecord{};
    SetTestName(def_, "Undefined");
    def_.scheduleType = 0;
    def_.state = kTestStartManual;
    def_.scheduledStart = kStartNotSet;
    def_.stopTime = kStartNotSet;
    def_.sampleCount = 0;
    def_.dataDeleteFlag = 0;
    def_.spare = 0;
    def_.interval = Duration{};
    def_.logPoints = 1;
    def_.averageCount = 2;
    def_.eventThreshold = 0.0;
    def_.eventSetting = 2;
    def_.eventChannel = device_ != nullptr && device_->GetDeviceType() == 22 ? 2 : 1;
    relays_ = RelayDefinitionRecord{};
    channels_.fill(TestWizChannel{});
    linearAverageSupported = hundredthsSupported = relaysPossible = channelWording = family30to40 = false;
    logAllowed = eventAllowed = averageAllowed = false;
    relaysOn = relaysKept = false;
    capDays = 0;
    modified_ = false;
}

void CTestWiz::SetExistingDefinition(const TestDefinitionRecord& record, bool clone)
{
    def_ = record;
    if (clone) {
        def_.state = kTestStartManual;
    }
    relaysKept = true;
}

void CTestWiz::SetRelayDefinition(const RelayDefinitionRecord& relays)
{
    relays_ = relays;
    relaysOn = relays.relays[0].mode != kRelayDisabled || relays.relays[1].mode != kRelayDisabled;
}

void CTestWiz::SetTestId(uint8_t id)
{
    def_.testId = id;
    relays_.testId = id;
}

void CTestWiz::SetChannel(int row, const CQorChannel* channel, bool included)
{
    if (row < 0 || row >= kTestWizRows) {
        return;
    }
    TestWizChannel entry;
    if (channel != nullptr && channel->GetKind() != 0 && channel->GetKind() != 26) {
        const uint8_t type = device_ != nullptr ? device_->GetDeviceType() : channel->GetDeviceType();
        entry.displayName = channel->GetDisplayName(false);
        entry.parameterId = channel->GetParameterId();
        entry.present = 1;
        entry.logAllowed = channel->HasLevelSettings() ? 1 : 0;
        entry.averageAllowed = channel->CanEditLevelSettings() ? 1 : 0;
        entry.eventAllowed = channel->CanEdit() ? 1 : 0;
        entry.minInterval = channel->GetReadTimeout(type);
        entry.kind = channel->GetKind();
        entry.deviceUnit = channel->GetNativeUnit(false);
        entry.displayUnit = channel->GetDefaultUnits();
        entry.unitsText = channel->GetUnitsText();
        entry.specificGravity = channel->GetSpecificGravityField();
        entry.density = channel->GetDensity();
        entry.gravity = channel->GetGravity();
    }
    entry.included = included ? 1 : 0;
    channels_[static_cast<size_t>(row)] = entry;
}

void CTestWiz::TakeDeviceInputs()
{
    if (device_ == nullptr) {
        return;
    }
    const uint8_t type = device_->GetDeviceType();
    linearAverageSupported = true;
    hundredthsSupported = type >= 21 && type <= 28;
    family30to40 = type >= 30 && type <= 40;
    channelWording = device_->IsChannelLogger();
    relaysPossible = type == 8;
    deviceTime_ = device_->GetCurrentDeviceTime();
}

bool CTestWiz::HasPresentChannel() const
{
    return std::any_of(channels_.begin(), channels_.end(), [](const TestWizChannel& c) { return c.present != 0; });
}

TestWizChannel& CTestWiz::Channel(int row)
{
    return channels_[static_cast<size_t>(std::clamp(row, 0, kTestWizRows - 1))];
}

const TestWizChannel& CTestWiz::Channel(int row) const
{
    return channels_[static_cast<size_t>(std::clamp(row, 0, kTestWizRows - 1))];
}

bool CTestWiz::IsStartTimeValid() const
{
    if (def_.state != kTestStartScheduled) {
        return true;
    }
    DeviceTime limit;
    if (!OleDateTimeToDeviceTime(device_ != nullptr ? device_->GetCurrentDeviceTime() : deviceTime_, limit)) {
        return false;
    }
    AddLongDuration(limit, Duration{0, 0, 5, 0, 0});
    DeviceTime start = def_.scheduledStart;
    start.hundredths = 0;
    wv::OleDateTime check;
    if (!DeviceTimeToOleDateTime(start, check).IsValid()) {
        return false;
    }
    return CompareDeviceTime(start, limit) >= 0;
}

int64_t CTestWiz::IntervalToHundredths(int64_t days, int64_t hours, int64_t minutes, int64_t seconds,
                                       int64_t hundredths) const
{
    // Each field is at most a few digits long; the bound only keeps the sum in range.
    const auto field = [](int64_t value) { return std::clamp<int64_t>(value, 0, 1'000'000'000); };
    const int64_t total = field(days) * kHundredthsPerDay + field(hours) * kHundredthsPerHour +
                          field(minutes) * kHundredthsPerMinute + field(seconds) * kHundredthsPerSecond +
                          field(hundredths);
    return std::min(total, def_.scheduleType == kTestScheduleLog ? kLogIntervalCap : kIntervalCap);
}

int64_t CTestWiz::IntervalToHundredths(const Duration& interval) const
{
    return IntervalToHundredths(interval.days, interval.hours, interval.minutes, interval.seconds,
                                interval.hundredths);
}

void CTestWiz::SetInterval(int64_t days, int64_t hours, int64_t minutes, int64_t seconds, int64_t hundredths)
{
    const int64_t value = IntervalToHundredths(days, hours, minutes, seconds, hundredths);
    Duration& interval = def_.interval;
    bool changed = false;
    Store(interval.days, static_cast<uint8_t>(value / kHundredthsPerDay), changed);
    Store(interval.hours, static_cast<uint8_t>(value % kHundredthsPerDay / kHundredthsPerHour), changed);
    Store(interval.minutes, static_cast<uint8_t>(value % kHundredthsPerHour / kHundredthsPerMinute), changed);
    Store(interval.seconds, static_cast<uint8_t>(value % kHundredthsPerMinute / kHundredthsPerSecond), changed);
    if (hundredthsSupported) {
        Store(interval.hundredths, static_cast<uint8_t>(value % kHundredthsPerSecond), changed);
    }
    if (changed) {
        modified_ = true;
    }
}

int CTestWiz::GetMinChannelInterval() const
{
    int minimum = 0;
    for (const TestWizChannel& channel : channels_) {
        if (channel.present && channel.included) {
            minimum = std::max(minimum, channel.minInterval);
        }
    }
    return minimum;
}

int CTestWiz::TypeMinimumInterval() const
{
    switch (def_.scheduleType) {
    case kTestScheduleLinear: return family30to40 ? 500 : 300;
    case kTestScheduleLog: return 60'000;
    case kTestScheduleEvent: return 1'000;
    case kTestScheduleLinearAverage: return family30to40 ? 2'000 : 400;
    default: return 0;
    }
}

void CTestWiz::ApplyMinimumInterval()
{
    const Duration before = def_.interval;
    int64_t minimum = std::max<int64_t>(GetMinChannelInterval(), TypeMinimumInterval());
    minimum = std::min(minimum, kIntervalCap);
    Duration& interval = def_.interval;
    interval.days = static_cast<uint8_t>(minimum / kHundredthsPerDay);
    interval.hours = static_cast<uint8_t>(minimum % kHundredthsPerDay / kHundredthsPerHour);
    interval.minutes = static_cast<uint8_t>(minimum % kHundredthsPerHour / kHundredthsPerMinute);
    interval.seconds = static_cast<uint8_t>(minimum % kHundredthsPerMinute / kHundredthsPerSecond);
    interval.hundredths = static_cast<uint8_t>(minimum % kHundredthsPerSecond);
    // Only an interval that differs from the one before is a change.
    if (interval != before) {
        modified_ = true;
    }
}

std::optional<double> CTestWiz::ConvertChannelValue(int row, double value, int direction) const
{
    if (row < 0 || row >= kTestWizRows) {
        return std::nullopt;
    }
    const TestWizChannel& channel = channels_[static_cast<size_t>(row)];
    const bool toDevice = direction == kToDeviceUnit;
    const int from = toDevice ? channel.displayUnit : channel.deviceUnit;
    const int to = toDevice ? channel.deviceUnit : channel.displayUnit;
    // A kind without units (or a channel shown in its device unit) needs no conversion.
    const bool units = from >= 0 && to >= 0;
    double out = value;
    if (channel.kind == kKindLevel && channel.density == 0.0) {
        // Specific-gravity mode: the device keeps the level of water, the user sees that of
        // the liquid; a gravity of 0 has no conversion.
        const double gravity = channel.specificGravity;
        if (!(std::isfinite(gravity) && gravity > 0.0)) {
            return std::nullopt;
        }
        if (units) {
            out = ConvertUnitsDefault(value, kKindLevel, static_cast<int16_t>(from), static_cast<int16_t>(to));
        }
        out = toDevice ? out * gravity : out / gravity;
    } else if (units && ConvertUnits(value, out, static_cast<ParameterTypeCode>(channel.kind),
                                     static_cast<int16_t>(from), static_cast<int16_t>(to), channel.density,
                                     channel.gravity) != 0) {
        return std::nullopt;
    }
    if (!std::isfinite(out) || (toDevice && !FitsDevice(out))) {
        return std::nullopt;
    }
    return out;
}

std::optional<double> CTestWiz::ConvertChannelDelta(int row, double value, int direction) const
{
    const auto converted = ConvertChannelValue(row, value, direction);
    const auto zero = ConvertChannelValue(row, 0.0, direction);
    if (!converted || !zero) {
        return std::nullopt;
    }
    const double delta = *converted - *zero;
    if (!std::isfinite(delta) || (direction == kToDeviceUnit && !FitsDevice(delta))) {
        return std::nullopt;
    }
    return delta;
}

int CTestWiz::FindChannelByParameter(int id) const
{
    for (int row = 0; row < kTestWizRows; ++row) {
        const TestWizChannel& channel = channels_[static_cast<size_t>(row)];
        if (channel.present && channel.included && channel.parameterId == id) {
            return row;
        }
    }
    return 0;
}

int CTestWiz::FindChannelByNumber(int n) const
{
    for (int row = 0; row < kTestWizRows; ++row) {
        const TestWizChannel& channel = channels_[static_cast<size_t>(row)];
        if (channel.present && channel.included && !channel.displayName.empty() &&
            std::isdigit(static_cast<unsigned char>(channel.displayName[0])) && channel.displayName[0] - '0' == n) {
            return row;
        }
    }
    return 0;
}

bool CTestWiz::HasIncludedParameter(int id) const
{
    return std::any_of(channels_.begin(), channels_.end(), [id](const TestWizChannel& c) {
        return c.present && c.included && c.parameterId == id;
    });
}

std::vector<uint8_t> CTestWiz::BuildChannelList() const
{
    std::vector<uint8_t> list;
    for (const TestWizChannel& channel : channels_) {
        if (!channel.present || !channel.included) {
            continue;
        }
        list.push_back(static_cast<uint8_t>(channel.parameterId));
        if (HasStatusEntries(channel.parameterId)) {
            list.insert(list.end(), std::begin(kStatusEntries), std::end(kStatusEntries));
        }
    }
    return list;
}

bool CTestWiz::ChannelListFits() const { return BuildChannelList().size() <= kTestMaxChannels; }

void CTestWiz::MoveEventChannelToFront()
{
    if (MoveToFront(def_.channels, def_.channelCount, def_.eventChannel)) {
        modified_ = true;
    }
}

std::string CTestWiz::DisplayNameOfParameter(int id) const
{
    return HasIncludedParameter(id) ? Channel(FindChannelByParameter(id)).displayName : std::string();
}
