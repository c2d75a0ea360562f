#include "display/GraphDialogs.h"

#include "display/GraphWnd.h"
#include "display/PlotSeries.h"

#include "resources/StringTable.h"
#include "values/UnitCatalog.h"
#include "wizards/WizardSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

namespace {

QString Text(uint32_t id) { return QString::fromUtf8(GetResString(id)); }

// A control placed in dialog units, named by its id.
template <typename T>
T* Place(QWidget* dialog, T* control, int id, int x, int y, int cx, int cy)
{
    control->setGeometry(DialogUnitsToPixels(dialog, x, y, cx, cy));
    if (id != 0) {
        control->setObjectName(QString::number(id));
    }
    return control;
}

struct UnitEntry {
    uint32_t textId;  // 0: the literal text
    const char* literal;
    int unit;
};

// The unit list of a parameter type (and, for pressure, its category) and its type slot.
std::vector<UnitEntry> UnitList(uint8_t type, int category, int& slot)
{
    slot = CGraphWnd::SlotOfType(type);
    switch (type) {
    case 2: return {{kStrUnitFahrenheit, nullptr, 1}, {kStrUnitCelsius, nullptr, 0}};
    case 3:
        if (category == kUnitCategoryPressure) {
            return {{kStrUnitPsi, nullptr, 0}, {kStrUnitKpa, nullptr, 3}};
        }
        return {{kStrUnitFeet, nullptr, 1}, {kStrUnitMeters, nullptr, 2}, {kStrUnitCentimeters, nullptr, 6},
                {kStrUnitInches, nullptr, 7}};
    case 5:
        return {{kStrUnitMicroSiemens, nullptr, 0}, {kStrUnitMilliSiemens, nullptr, 1}, {kStrUnitTds, nullptr, 2},
                {kStrUnitSalinity, nullptr, 3},     {kStrUnitResistivity, nullptr, 4},  {kStrUnitSpecificCond, nullptr, 5}};
    case 6:
        return {{kStrUnitInHg, nullptr, 1}, {kStrUnitBar, nullptr, 2}, {kStrUnitMbar, nullptr, 3}, {kStrUnitCmH2O, nullptr, 4}};
    case 7:
    case 28: return {{kStrUnitUgPerL, nullptr, 1}, {kStrUnitMgPerL, nullptr, 0}, {kStrUnitDoPercent, nullptr, 2}};
    case 8: return {{kStrUnitVolts, nullptr, 1}, {kStrUnitMillivolts, nullptr, 0}};
    case 22: return {{0, "FNU", 1}, {0, "NTU", 0}};
    case 27: return {{kStrUnitVolts, nullptr, 1}};
    default: return {};
    }
}

QString Format3(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%0.3f", value);
    return QString::fromLatin1(buffer);
}

} // namespace

// ---- Graph Settings -------------------------------------------------------------------------

CGraphSettings::CGraphSettings(CGraphWnd& graph, QWidget* parent) : QDialog(parent), m_graph(graph)
{
    setObjectName(QStringLiteral("357"));
    setWindowTitle(QStringLiteral("Graph Settings"));
    setFixedSize(DialogUnitsToPixels(this, 0, 0, 350, 138).size());
    horzGrid = graph.GetHorzGrid();
    vertGrid = graph.GetVertGrid();
    dataPoints = graph.GetShowDataPoints();
    restoreView = graph.GetZoom() == 1.0;
    logarithmic = graph.GetLogFormat();
    linear = !logarithmic;
    timestamp = logarithmic ? false : graph.GetTimestampMode();

    Place(this, new QGroupBox(QStringLiteral("Primary Channel"), this), 0, 7, 7, 165, 50);
    Place(this, new QLabel(QStringLiteral("Channel"), this), 0, 14, 21, 35, 8);
    Place(this, new QLabel(QStringLiteral("Units"), this), 0, 14, 38, 35, 8);
    m_primary = Place(this, new QComboBox(this), 1809, 50, 19, 115, 12);
    m_primaryUnits = Place(this, new QComboBox(this), 1810, 50, 36, 115, 12);
    Place(this, new QGroupBox(QStringLiteral("Secondary Channel"), this), 0, 178, 7, 165, 50);
    Place(this, new QLabel(QStringLiteral("Channel"), this), 0, 185, 21, 35, 8);
    Place(this, new QLabel(QStringLiteral("Units"), this), 0, 185, 38, 35, 8);
    m_second = Place(this, new QComboBox(this), 1816, 221, 19, 115, 12);
    m_secondUnits = Place(this, new QComboBox(this), 1817, 221, 36, 115, 12);
    Place(this, new QGroupBox(QStringLiteral("X Axis"), this), 0, 7, 62, 165, 50);
    m_log = Place(this, new QRadioButton(QStringLiteral("Logarithmic scale"), this), 1823, 14, 74, 100, 10);
    m_linear = Place(this, new QRadioButton(QStringLiteral("Linear scale"), this), 1442, 14, 86, 100, 10);
    m_timestamp = Place(this, new QCheckBox(QStringLiteral("Display Timestamp"), this), 1831, 26, 98, 100, 10);
    m_horz = Place(this, new QCheckBox(QStringLiteral("Horizontal Grid"), this), 1825, 185, 64, 100, 10);
    m_vert = Place(this, new QCheckBox(QStringLiteral("Vertical Grid"), this), 1826, 185, 76, 100, 10);
    m_points = Place(this, new QCheckBox(QStringLiteral("Show data points"), this), 1827, 185, 88, 100, 10);
    m_restore = Place(this, new QCheckBox(QStringLiteral("Restore view (unzoom)"), this), 1828, 185, 100, 110, 10);
    auto* ok = Place(this, new QPushButton(QStringLiteral("OK"), this), 1, 237, 118, 50, 14);
    auto* cancel = Place(this, new QPushButton(QStringLiteral("Cancel"), this), 2, 293, 118, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_log->setChecked(logarithmic);
    m_linear->setChecked(linear);
    m_timestamp->setChecked(timestamp);
    m_horz->setChecked(horzGrid);
    m_vert->setChecked(vertGrid);
    m_points->setChecked(dataPoints);
    m_restore->setChecked(restoreView);

    // Channel lists: "none", then "all" and one entry per active series.
    const bool plottable = graph.GetPlottableCount() > 0;
    auto fill = [&](QComboBox& list, std::vector<int>& map, bool withAll, int current) {
        list.addItem(Text(kStrNoChannelSelected));
        map.push_back(kNoSeries);
        if (!plottable) {
            list.setCurrentIndex(current == kNoSeries ? 0 : -1);
            return;
        }
        if (withAll) {
            list.addItem(Text(kStrAllChannelsSelected));
            map.push_back(kAllSeries);
        }
        const auto& series = graph.GetSeries();
        for (int i = 0; i < static_cast<int>(series.size()); ++i) {
            if (series[static_cast<size_t>(i)]->IsActive()) {
                list.addItem(QString::fromStdString(graph.GetQuantityName(series[static_cast<size_t>(i)]->GetParameterType())));
                map.push_back(i);
            }
        }
        int selected = -1;
        for (size_t k = 0; k < map.size(); ++k) {
            if (map[k] == current) {
                selected = static_cast<int>(k);
            }
        }
        list.setCurrentIndex(selected);
    };
    fill(*m_primary, m_primaryMap, true, graph.GetPrimaryIndex());
    fill(*m_second, m_secondMap, false, graph.GetSecondIndex());
    m_primarySlot = FillUnits(*m_primaryUnits, m_primaryUnitIds, GetPrimaryChoice());
    m_secondSlot = FillUnits(*m_secondUnits, m_secondUnitIds, GetSecondChoice());
    EnableAxis();
    m_restore->setEnabled(!m_restore->isChecked());

    connect(m_primary, &QComboBox::currentIndexChanged, this, [this] { OnPrimaryChanged(); });
    connect(m_second, &QComboBox::currentIndexChanged, this, [this] { OnSecondChanged(); });
    connect(m_linear, &QRadioButton::clicked, this, [this] { m_timestamp->setEnabled(m_linear->isChecked()); });
    connect(m_log, &QRadioButton::clicked, this, [this] { m_timestamp->setEnabled(!m_log->isChecked()); });
}

int CGraphSettings::GetPrimaryChoice() const
{
    const int at = m_primary->currentIndex();
    return at >= 0 && at < static_cast<int>(m_primaryMap.size()) ? m_primaryMap[static_cast<size_t>(at)] : kNoSeries;
}

int CGraphSettings::GetSecondChoice() const
{
    const int at = m_second->currentIndex();
    return at >= 0 && at < static_cast<int>(m_secondMap.size()) ? m_secondMap[static_cast<size_t>(at)] : kNoSeries;
}

int CGraphSettings::GetPrimaryUnit() const
{
    const int at = m_primaryUnits->currentIndex();
    return at >= 0 && at < static_cast<int>(m_primaryUnitIds.size()) ? m_primaryUnitIds[static_cast<size_t>(at)] : -1;
}

int CGraphSettings::GetSecondUnit() const
{
    const int at = m_secondUnits->currentIndex();
    return at >= 0 && at < static_cast<int>(m_secondUnitIds.size()) ? m_secondUnitIds[static_cast<size_t>(at)] : -1;
}

int CGraphSettings::FillUnits(QComboBox& list, std::vector<int>& ids, int seriesIndex)
{
    const QSignalBlocker blocker(list);
    list.clear();
    ids.clear();
    const auto& all = m_graph.GetSeries();
    if (seriesIndex < 0 || seriesIndex >= static_cast<int>(all.size())) {
        return -1;
    }
    const CPlotSeries& series = *all[static_cast<size_t>(seriesIndex)];
    const CUnitCategory* category = series.GetUnitCategory();
    const CUnitEntry* current = category != nullptr ? category->GetCurrentUnit() : nullptr;
    int currentId = current != nullptr ? current->GetId() : -1;
    int slot = -1;
    const std::vector<UnitEntry> entries = UnitList(series.GetParameterType(), category != nullptr ? category->GetId() : -1, slot);
    // Pressure shown in any unit but psi preselects kPa.
    if (series.GetParameterType() == 3 && category != nullptr && category->GetId() == kUnitCategoryPressure && currentId != 0) {
        currentId = 3;
    }
    int selected = entries.empty() ? -1 : 0;
    for (const UnitEntry& entry : entries) {
        list.addItem(entry.textId != 0 ? Text(entry.textId) : QString::fromLatin1(entry.literal));
        ids.push_back(entry.unit);
        if (entry.unit == currentId) {
            selected = static_cast<int>(ids.size()) - 1;
        }
    }
    list.setCurrentIndex(selected);
    return slot;
}

void CGraphSettings::EnableAxis()
{
    const int primary = GetPrimaryChoice();
    const bool single = primary >= 0;
    m_primaryUnits->setEnabled(single);
    m_second->setEnabled(single);
    m_secondUnits->setEnabled(single && GetSecondChoice() >= 0);
    const bool axis = primary != kNoSeries;
    m_linear->setEnabled(axis);
    m_log->setEnabled(axis);
    m_timestamp->setEnabled(axis && m_linear->isChecked());
}

void CGraphSettings::OnPrimaryChanged()
{
    m_primarySlot = FillUnits(*m_primaryUnits, m_primaryUnitIds, GetPrimaryChoice());
    EnableAxis();
}

void CGraphSettings::OnSecondChanged()
{
    m_secondSlot = FillUnits(*m_secondUnits, m_secondUnitIds, GetSecondChoice());
    EnableAxis();
}

void CGraphSettings::accept()
{
    horzGrid = m_horz->isChecked();
    vertGrid = m_vert->isChecked();
    dataPoints = m_points->isChecked();
    restoreView = m_restore->isChecked();
    linear = m_linear->isChecked();
    logarithmic = m_log->isChecked();
    timestamp = m_timestamp->isChecked();
    QDialog::accept();
}

// ---- Setup Y Axis ---------------------------------------------------------------------------

CYAxisDialog::CYAxisDialog(CGraphWnd& graph, QWidget* parent) : QDialog(parent), m_graph(graph)
{
    setObjectName(QStringLiteral("351"));
    setWindowTitle(QStringLiteral("Setup Y Axis"));
    setFixedSize(DialogUnitsToPixels(this, 0, 0, 322, 82).size());
    Place(this, new QGroupBox(QStringLiteral("Primary"), this), 0, 7, 7, 150, 52);
    m_primaryAuto = Place(this, new QCheckBox(QStringLiteral("Automatic range"), this), 1805, 14, 17, 80, 10);
    Place(this, new QLabel(QStringLiteral("Max"), this), 0, 14, 31, 20, 8);
    m_primaryMax = Place(this, new QLineEdit(this), 1801, 36, 29, 55, 12);
    m_primaryHigh = Place(this, new QLabel(this), 1814, 96, 31, 55, 8);
    Place(this, new QLabel(QStringLiteral("Min"), this), 0, 14, 45, 20, 8);
    m_primaryMin = Place(this, new QLineEdit(this), 1803, 36, 43, 55, 12);
    m_primaryLow = Place(this, new QLabel(this), 1815, 96, 45, 55, 8);
    Place(this, new QGroupBox(QStringLiteral("Secondary"), this), 0, 165, 7, 150, 52);
    m_secondAuto = Place(this, new QCheckBox(QStringLiteral("Automatic range"), this), 1808, 172, 17, 80, 10);
    Place(this, new QLabel(QStringLiteral("Max"), this), 0, 172, 31, 20, 8);
    m_secondMax = Place(this, new QLineEdit(this), 1806, 194, 29, 55, 12);
    m_secondHigh = Place(this, new QLabel(this), 1821, 254, 31, 55, 8);
    Place(this, new QLabel(QStringLiteral("Min"), this), 0, 172, 45, 20, 8);
    m_secondMin = Place(this, new QLineEdit(this), 1807, 194, 43, 55, 12);
    m_secondLow = Place(this, new QLabel(this), 1822, 254, 45, 55, 8);
    auto* ok = Place(this, new QPushButton(QStringLiteral("OK"), this), 1, 209, 63, 50, 14);
    auto* cancel = Place(this, new QPushButton(QStringLiteral("Cancel"), this), 2, 265, 63, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const CPlotSeries* primary = graph.GetPrimarySeries();
    m_primaryAuto->setChecked(primary != nullptr && !primary->fixedLimits);
    Fill(primary, *m_primaryAuto, *m_primaryMax, *m_primaryMin, *m_primaryHigh, *m_primaryLow);
    const CPlotSeries* second = graph.GetSecondSeries();
    if (second == nullptr) {
        m_secondAuto->setEnabled(false);
        m_secondMax->setEnabled(false);
        m_secondMin->setEnabled(false);
    } else {
        m_secondAuto->setChecked(!second->fixedLimits);
        Fill(second, *m_secondAuto, *m_secondMax, *m_secondMin, *m_secondHigh, *m_secondLow);
    }
    connect(m_primaryAuto, &QCheckBox::clicked, this, [this] {
        Fill(m_graph.GetPrimarySeries(), *m_primaryAuto, *m_primaryMax, *m_primaryMin, *m_primaryHigh, *m_primaryLow);
    });
    connect(m_secondAuto, &QCheckBox::clicked, this, [this] {
        Fill(m_graph.GetSecondSeries(), *m_secondAuto, *m_secondMax, *m_secondMin, *m_secondHigh, *m_secondLow);
    });
}

void CYAxisDialog::Fill(const CPlotSeries* series, QCheckBox& automatic, QLineEdit& max, QLineEdit& min, QLabel& high,
                        QLabel& low)
{
    if (series == nullptr) {
        return;
    }
    min.setText(Format3(series->axisLow));
    max.setText(Format3(series->axisHigh));
    low.setText(Format3(series->GetYMin()));
    high.setText(Format3(series->GetYMax()));
    max.setEnabled(!automatic.isChecked());
    min.setEnabled(!automatic.isChecked());
}

void CYAxisDialog::accept()
{
    primaryAuto = m_primaryAuto->isChecked();
    secondAuto = m_secondAuto->isChecked();
    primaryMax = m_primaryMax->text();
    primaryMin = m_primaryMin->text();
    secondMax = m_secondMax->text();
    secondMin = m_secondMin->text();
    QDialog::accept();
}
