#pragma once
// CBaroVornaDlg: the settings of a barometric correction of a level file. The user picks no
// correction, a fixed barometric value in one of seven pressure units, or a barometer's
// reference file (with the fixed value for the samples outside its time range), and whether
// the corrected data also goes into a new file. OK checks the value against its unit's range
// and the reference file, writes the settings into the compensation job and, unless the
// user switched it off, shows the reminder that the corrected view is temporary.

#include "app/controls/ModalDialog.h"

#include <functional>
#include <string>

class CBaroCompensator;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPixmap;
class QPushButton;
class QRadioButton;
struct BaroCorrectionRequest;

class CBaroVornaDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 367;
    static constexpr int kIdNone = 1442;
    static constexpr int kIdValue = 1443;
    static constexpr int kIdFile = 1444;
    static constexpr int kIdFixedValue = 1835;
    static constexpr int kIdUnits = 1836;
    static constexpr int kIdReference = 1837;
    static constexpr int kIdBrowse = 1441;
    static constexpr int kIdOutsideNote = 1838;
    static constexpr int kIdNewFile = 1845;
    static constexpr int kBitmapId = 372;

    enum Source { kSourceNone = 0, kSourceValue = 1, kSourceFile = 2 };

    // One entry of the unit list: its text, unit category and unit id, accepted range and
    // the message shown outside it.
    struct UnitEntry {
        uint32_t textId;
        int category;
        int unit;
        double low;
        double high;
        uint32_t rangeMessageId;
    };
    static const UnitEntry kUnitEntries[7];

    // No correction, psi (category 6, unit 0), no reference path, the new-file box checked.
    explicit CBaroVornaDlg(QWidget* parent);

    // Shows the job's mode, fixed value, reference path and unit, and keeps the job for OK.
    void SetSettings(CBaroCompensator& job);
    // The checks around Browse and OK: whether a path names a usable reference file, and
    // the data-file view's release and reload of its own file around that check.
    void SetReferenceChecks(std::function<bool(const std::string&)> isValid, std::function<void()> release,
                            std::function<void()> reload);

    // The fields (as the last read of the controls left them).
    int GetSource() const { return m_source; }
    double GetValue() const { return m_value; }
    int GetUnitCategory() const { return m_category; }
    int GetUnitId() const { return m_unit; }
    const std::string& GetReferencePath() const { return m_referencePath; }
    bool GetNewFile() const { return m_newFile; }
    void SetNewFile(bool newFile) { m_newFile = newFile; }

    // The handlers (public for tests, which drive them as the user would).
    void OnSourceChanged();
    void OnBrowse();
    void OnOK();
    // Checks the value edit against the selected unit's range; the message when outside.
    bool CheckValue();
    // Checks the reference box's text; message 191 when it names no reference file.
    bool CheckReference();

protected:
    void OnInitDialog() override;

private:
    // A number in the shortest form with up to 15 significant digits (8.0 shows as 8).
    static QString FormatNumberShortest(double value);
    void ReadControls();
    void EnableControls();
    void UpdateOkButton();
    void OnUnitChosen();

    CBaroCompensator* m_job = nullptr;
    int m_source = kSourceNone;
    double m_value = 14.7;
    int m_category = 6;
    int m_unit = 0;
    std::string m_referencePath;
    bool m_newFile = true;
    std::function<bool(const std::string&)> m_isValidReference;
    std::function<void()> m_releaseDataFile;
    std::function<void()> m_reloadDataFile;

    QButtonGroup* m_sources = nullptr;
    QRadioButton* m_none = nullptr;
    QRadioButton* m_byValue = nullptr;
    QRadioButton* m_byFile = nullptr;
    QLineEdit* m_valueEdit = nullptr;
    QComboBox* m_units = nullptr;
    QComboBox* m_reference = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_note = nullptr;
    QCheckBox* m_newFileBox = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_filling = false;
};

// The picture at the dialog's left: a barometer dial, drawn at size.
QPixmap DrawBarometerPicture(int width, int height);

// Runs the dialog for a data-file view's request (the registered correction runner): true on
// OK, with the job holding the settings and the request the new-file choice.
bool RunBaroCorrectionDialog(QWidget* parent, BaroCorrectionRequest& request);
