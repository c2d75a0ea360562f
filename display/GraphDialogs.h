#pragma once
// The plot window's two modal dialogs: Graph Settings (channels, their units, the time
// axis, grids, markers, unzoom) and Setup Y Axis (automatic or fixed value ranges). They
// only read the window and collect the user's choices; the window applies them after OK.
// Controls keep their ids as object names.

#include <QDialog>

#include <cstdint>
#include <vector>

class CGraphWnd;
class CPlotSeries;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class CGraphSettings : public QDialog {
    Q_OBJECT
public:
    CGraphSettings(CGraphWnd& graph, QWidget* parent);

    // Results after OK: the chosen series indexes (-2 none, -1 all), the unit ids chosen
    // (-1 none) and the type slots of the chosen series (-1 none; 2 stands for no unit).
    int GetPrimaryChoice() const;
    int GetSecondChoice() const;
    int GetPrimaryUnit() const;
    int GetSecondUnit() const;
    int GetPrimarySlot() const { return m_primarySlot; }
    int GetSecondSlot() const { return m_secondSlot; }
    bool horzGrid = false;
    bool vertGrid = false;
    bool dataPoints = false;
    bool restoreView = false;
    bool linear = true;
    bool logarithmic = false;
    bool timestamp = false;

    void accept() override;

private:
    // Fills a unit list for the series index; returns the series' type slot (-1 none).
    int FillUnits(QComboBox& list, std::vector<int>& ids, int seriesIndex);
    void OnPrimaryChanged();
    void OnSecondChanged();
    void EnableAxis();

    CGraphWnd& m_graph;
    QComboBox* m_primary;
    QComboBox* m_primaryUnits;
    QComboBox* m_second;
    QComboBox* m_secondUnits;
    QRadioButton* m_log;
    QRadioButton* m_linear;
    QCheckBox* m_timestamp;
    QCheckBox* m_horz;
    QCheckBox* m_vert;
    QCheckBox* m_points;
    QCheckBox* m_restore;
    // List entry -> series index, list entry -> unit id: sized by the lists.
    std::vector<int> m_primaryMap;
    std::vector<int> m_secondMap;
    std::vector<int> m_primaryUnitIds;
    std::vector<int> m_secondUnitIds;
    int m_primarySlot = -1;
    int m_secondSlot = -1;
};

class CYAxisDialog : public QDialog {
    Q_OBJECT
public:
    CYAxisDialog(CGraphWnd& graph, QWidget* parent);

    bool primaryAuto = false;
    bool secondAuto = false;
    QString primaryMax;
    QString primaryMin;
    QString secondMax;
    QString secondMin;

    void accept() override;

private:
    void Fill(const CPlotSeries* series, QCheckBox& automatic, QLineEdit& max, QLineEdit& min, QLabel& high,
              QLabel& low);

    CGraphWnd& m_graph;
    QCheckBox* m_primaryAuto;
    QLineEdit* m_primaryMax;
    QLineEdit* m_primaryMin;
    QLabel* m_primaryHigh;
    QLabel* m_primaryLow;
    QCheckBox* m_secondAuto;
    QLineEdit* m_secondMax;
    QLineEdit* m_secondMin;
    QLabel* m_secondHigh;
    QLabel* m_secondLow;
};
