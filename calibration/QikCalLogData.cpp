#include "calibration/QikCalLogData.h"

#include "calibration/QikCalData.h"
#include "calibration/QikCalLog.h"
#include "foundation/AppUtils.h"
#include "foundation/DataMap.h"
#include "foundation/NumberText.h"
#include "foundation/StringUtils.h"
#include "platform/SafeFile.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "values/CalCoeffsDO.h"
#include "values/CalCoeffsOptDO.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

constexpr std::array<const char*, 10> kSensorKeys{"PH",  "ORP", "Cond", "DO",         "CL",
                                                  "NO3", "NH4", "TURB", "ODO_BPHASE", "HDO_CONC"};

constexpr const char* kNewValues = "NEW CALIBRATION VALUES";
constexpr const char* kPreviousValues = "NOT RE-CALIBRATED (using previous values)";

std::string ActionText(int modalResult)
{
    if (modalResult == kCalResultFinished) {
        return "COMPLETED";
    }
    return modalResult == kCalResultCancelled ? "CANCELED" : "WRITE FAILED";
}

// The stimulus text as the final reading.
std::string FinalReading(std::string text)
{
    const size_t at = text.find("Stimulus");
    if (at != std::string::npos) {
        text.replace(at, 8, "Final Reading");
    }
    return text;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "" : separator) + parts[i];
    }
    return out;
}

// The lines of a page without their line ends; false when it cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return !in.bad();
}

} // namespace

CQikCalLogData::CQikCalLogData() : m_now([] { return wv::OleDateTime::GetCurrentTime(); }) {}

CQikCalLogData::~CQikCalLogData() = default;

int CQikCalLogData::Write(std::vector<std::string>* paths, int modalResult, CQikCalData& engine, bool quick,
                          const CCalCoeffsDO* oxygen, const CCalCoeffsODO* phase, const CCalCoeffsHDO* concentration,
                          const std::vector<std::string>* keys)
{
    m_oxygen = oxygen;
    m_phase = phase;
    m_concentration = concentration;
    const std::string base = GetPathBesideExe(kCalReportsFolder);
    std::vector<std::string> written;
    for (const char* key : kSensorKeys) {
        if (keys != nullptr && std::none_of(keys->begin(), keys->end(),
                                            [key](const std::string& k) { return CompareNoCase(k, key) == 0; })) {
            continue;
        }
        const int first = engine.FindChannel(key, 0);
        CQikCalTracker* tracker = engine.GetTracker(first);
        const CQorChannel* channel = tracker != nullptr ? tracker->GetChannel() : nullptr;
        const CQorDevice* device = channel != nullptr ? channel->GetDevice() : nullptr;
        if (device == nullptr) {
            continue;
        }
        // The final status of every point that was measured.
        std::vector<std::string> statuses;
        for (int n = first; n > 0; n = engine.FindChannel(key, n)) {
            if (engine.GetCalPointKind(n) != kQikCalKindNotSet) {
                statuses.emplace_back(CQikCalData::GetStatusName(engine.GetChannelStatus(n)));
            }
        }
        const std::string word =
            CompareNoCase(key, "ODO_BPHASE") == 0 || CompareNoCase(key, "HDO_CONC") == 0 ? "HDO" : key;
        const std::string heading = word + " Calibration Report";
        const wv::OleDateTime now = m_now();
        const std::string date = FormatCLocale("%.2d-%.2d-%.2d", now.GetYear(), now.GetMonth(), now.GetDay());
        const std::string time = FormatCLocale("%.2d%.2d%.2d", now.GetHour(), now.GetMinute(), now.GetSecond());
        const std::string serial = device->GetAddressText();
        const std::string folder = serial.rfind("SN", 0) == 0 ? serial : "SN" + serial;
        const std::string pageName = folder + " " + date + " " + time + " " + word;
        const CQikProfDataWriter& writer = device->GetDataWriter();

        CDataMap map;
        map.name = pageName;
        map.SetText("SubDir", folder);
        map.SetText("Title", quick ? std::string("QuickCal Calibration Report") : heading);
        map.SetText("Label", heading);
        std::vector<std::string> order;
        const auto item = [&](const std::string& k, const std::string& v) {
            map.SetText(k, v);
            order.push_back(k);
        };
        item("Device Serial Number", serial);
        item("Sensor Serial Number", writer.FormatSensorSerial(channel->GetParameterId()));
        const std::string type = channel->GetSensorModeText();
        if (!type.empty()) {
            item("Sensor Type", type);
        }
        const std::string made = writer.FormatSensorDate(channel->GetParameterId());
        if (!made.empty()) {
            item("Sensor Mfg Date", made);
        }
        item("Method", quick ? "Quick Cal" : "Traditional");
        item("Action", ActionText(modalResult));
        for (size_t i = 0; i < statuses.size(); ++i) {
            item(FormatCLocale("Status Point %d", static_cast<int>(i + 1)), statuses[i]);
        }
        item("Date", date);
        item("Time", time);
        WriteSensorSection(*channel, map, order);
        map.SetText("KeyOrder", Join(order, m_separator));

        CQikCalLog page;
        if (page.Open(base, map) != 0 && page.WritePage() != 0) {
            written.push_back(page.GetPath());
            if (paths != nullptr) {
                paths->push_back(page.GetPath());
            }
        }
    }
    m_channel = nullptr;
    if (quick && !written.empty()) {
        std::vector<std::string> merged = written;
        if (MergeQuickCal(merged) && paths != nullptr) {
            paths->erase(std::remove_if(paths->begin(), paths->end(),
                                        [&](const std::string& p) {
                                            return std::find(written.begin(), written.end(), p) != written.end();
                                        }),
                         paths->end());
            paths->push_back(merged.front());
        }
    }
    if (!written.empty()) {
        CQikCalLogIndex index;
        if (index.Open(base)) {
            index.Write();
        }
    }
    return static_cast<int>(written.size());
}

bool CQikCalLogData::MergeQuickCal(std::vector<std::string>& paths)
{
    if (paths.empty()) {
        return false;
    }
    const std::filesystem::path first(paths.front());
    const std::string stem = first.stem().string();
    const size_t blank = stem.rfind(' ');
    const std::filesystem::path target =
        first.parent_path() / ((blank == std::string::npos ? stem : stem.substr(0, blank)) + " QuickCal.html");
    std::string merged;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<std::string> lines;
        if (!ReadLines(paths[i], lines)) {
            return false;
        }
        const bool isFirst = i == 0;
        const bool isLast = i + 1 == paths.size();
        enum { Head, Body, Foot } part = Head;
        for (const std::string& line : lines) {
            bool copy = false;
            if (part == Head) {
                copy = isFirst;
                if (line.find("<BODY>") != std::string::npos) {
                    part = Body;
                }
            } else {
                if (part == Body && line.find("<address>") != std::string::npos) {
                    part = Foot;
                }
                copy = part == Body || isLast;
            }
            if (copy) {
                merged += line + "\n";
            }
        }
    }
    if (wv::WriteFileAtomically(target, merged) != 0) {
        return false;
    }
    for (const std::string& path : paths) {
        if (std::filesystem::path(path) != target) {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    }
    paths.assign(1, target.string());
    return true;
}

// ---- Bodies --------------------------------------------------------------------------------

void CQikCalLogData::WriteSensorSection(const CQorChannel& channel, CDataMap& map, std::vector<std::string>& keyOrder)
{
    m_channel = &channel;
    m_map = &map;
    m_keyOrder = &keyOrder;
    m_key.clear();
    m_value.clear();
    m_count = 0;
    WriteSensorBody();
}

void CQikCalLogData::WriteSensorBody()
{
    const CQorChannel& channel = *m_channel;
    switch (channel.GetKind()) {
    case 4:
        WriteLastCal();
        WriteCalPoints();
        WriteCalType();
        WritePoint();
        if (channel.GetSensorByte() == 3) {
            WriteSlopeOffset(0, "Segment 1:");
            WriteSlopeOffset(1, "Segment 2:");
        } else {
            WriteSlopeOffset(0, "");
        }
        break;
    case 5:
        WriteLastCal();
        WriteCalPoints();
        WriteCalType();
        WritePointItems(1, "");
        WriteSlopeOffset(1, "");
        break;
    case 7:
        WriteLastCal();
        WriteCalPoints();
        WriteDOBody();
        WriteSlopeOffset(0, "");
        break;
    case 8:
        WriteLastCal();
        WriteCalPoints();
        WriteCalType();
        WritePointItems(0, "Point 1:");
        WriteSlopeOffset(0, "");
        break;
    case 13:
    case 16:
    case 17:
        WriteLastCal();
        WriteCalPoints();
        WriteCalType();
        WritePoint();
        WriteSlopeOffset(0, "");
        WriteIsoPotential("IsoPotential Point:");
        break;
    case 22: {
        WriteLastCal();
        WriteCalPoints();
        WriteCalType();
        WritePoint();
        const int points = channel.GetSensorByte();
        if (points > 1) {
            for (int s = 0; s <= points - 2; ++s) {
                WriteSlopeOffset(s, FormatCLocale("Segment %d:", s + 1));
            }
        } else {
            WriteSlopeOffset(0, "");
        }
        break;
    }
    case 28:
        if (m_phase != nullptr) {
            WriteLastCal();
            WriteFoilSection();
        } else if (m_concentration != nullptr) {
            WriteLastCal();
            WriteODOZeroSat();
        }
        break;
    default: break;
    }
}

void CQikCalLogData::AddPair(const std::string& label, const std::string& value)
{
    if (m_map == nullptr) {
        return;
    }
    if (!label.empty()) {
        m_key = label;
        m_value = value;
        if (std::find(m_keyOrder->begin(), m_keyOrder->end(), label) == m_keyOrder->end()) {
            m_keyOrder->push_back(label);
        }
        ++m_count;
    } else if (!m_key.empty()) {
        m_value += m_separator + value;
    } else {
        return;  // nothing to continue
    }
    m_map->SetText(m_key, m_value);
}

void CQikCalLogData::AddItem(const std::string& label, const std::vector<std::string>& parts)
{
    bool first = true;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        AddPair(first ? label : std::string(), part);
        first = false;
    }
}

void CQikCalLogData::WriteLastCal()
{
    AddItem(std::string(GetResString(kStrChanRowLastCal)), {m_channel->GetSensorDateText()});
}

void CQikCalLogData::WriteCalPoints()
{
    AddItem(std::string(GetResString(kStrChanRowCalPoints)), {m_channel->GetSensorCountText()});
}

void CQikCalLogData::WriteCalType()
{
    AddItem(std::string(GetResString(kStrChanRowCalType)), {m_channel->GetOwnSensorTypeName()});
}

void CQikCalLogData::WritePoint()
{
    const int points = m_channel->GetSensorByte();
    for (int k = 1; k <= points; ++k) {
        WritePointItems(k - 1, FormatCLocale("Point %d:", k));
    }
}

void CQikCalLogData::WritePointItems(int point, const std::string& heading)
{
    const CQorChannel& c = *m_channel;
    const std::string stimulus = c.FormatCalStimulus(point);
    AddItem(heading, {c.GetSensorTypeNameAt(point), stimulus, c.FormatCalResponse(point), FinalReading(stimulus),
                      c.FormatCalTemperature(point)});
}

void CQikCalLogData::WriteSlopeOffset(int segment, const std::string& heading)
{
    AddItem(heading, {m_channel->FormatCalSlope(segment), m_channel->FormatCalOffset(segment)});
}

void CQikCalLogData::WriteDOBody()
{
    if (m_oxygen == nullptr) {
        return;
    }
    const CQorChannel& c = *m_channel;
    AddPair("Membrane:", m_oxygen->GetMembraneName());
    AddPair("Saturation Point Medium:", m_oxygen->GetSaturationModeName());
    AddPair("Saturation Stimulus User-Set:", m_oxygen->HasReferenceValue() != 0 ? "Yes" : "No");
    const std::string stimulus = c.FormatCalStimulus(0);
    AddItem("Calibration:", {c.FormatCalTemperature(0), c.FormatCalBarometer(), stimulus, c.FormatCalResponse(0),
                             FinalReading(stimulus)});
}

void CQikCalLogData::WriteFoilSection()
{
    const CQorChannel& c = *m_channel;
    AddPair("Sensor Model #:", c.GetHdoSensorModelText());
    AddPair("Sensor Firmware Ver #:", c.GetHdoSensorFirmwareText());
    AddPair("Adapter Firmware Ver #:", c.GetHdoAdapterFirmwareText());
    AddPair("Saturation Point:", m_phase->IsPointCalibrated(0) ? kNewValues : kPreviousValues);
    AddPair("", c.FormatHdoSaturationPhase());
    AddPair("", c.FormatHdoSaturationTemperature());
    AddPair("", c.FormatHdoSaturationBarometer());
    AddPair("Zero Point:", m_phase->IsPointCalibrated(1) ? kNewValues : kPreviousValues);
    AddPair("", c.FormatHdoZeroPhase());
    AddPair("", c.FormatHdoZeroTemperature());
    AddPair("Calibrated Phase Coefficients:", c.FormatHdoPhaseCoefficients());
    AddPair("Temperature Coefficients:", c.FormatHdoTemperatureCoefficients());
    AddPair("Foil Batch #:", c.GetHdoFoilBatchText());
    AddPair("Foil Change Date:", c.GetHdoFoilChangeDateText());
    AddPair("Foil Coefficients:", "");
    for (int i = 0; i <= 4; ++i) {
        AddPair(FormatCLocale("Coeff%d", i), c.FormatHdoFoilCoefficients(i));
    }
}

void CQikCalLogData::WriteODOZeroSat()
{
    const CQorChannel& c = *m_channel;
    AddPair("Sensor Firmware Ver", c.GetHdoProbeFirmwareText());
    AddPair("Cap Serial Number", c.GetHdoCapSerialText());
    AddPair("Cap Mfg Date", c.GetHdoCapMfgDateText());
    AddPair("Cap Expiration Date", c.GetHdoCapExpiryDateText());

    const auto point = [&](int i, const char* name, const char* outside, const std::string& mgl) {
        const std::string word = name;
        if (m_concentration->IsPointCalibrated(i)) {
            if (m_concentration->IsPointOutOfRange(i)) {
                AddPair(word + ": " + kNewValues, outside);
                AddPair("", mgl);
            } else {
                AddPair(word + ": " + kNewValues, mgl);
            }
        } else {
            AddPair(word + ": " + kPreviousValues, mgl);
        }
    };
    point(0, "Saturation Point", "* Saturation reading outside expected range. *", c.FormatHdoSaturationMgL());
    AddPair("", c.FormatHdoSaturationTempC());
    AddPair("", c.FormatHdoSaturationMbar());
    point(1, "Zero Point", "* Zero reading outside expected range. *", c.FormatHdoZeroMgL());
    AddPair("", c.FormatHdoZeroTempC());
    AddPair("", "");
    AddPair("Calibration slope", c.FormatHdoCalSlope());
    AddPair("Calibration offset", c.FormatHdoCalOffset());
}

std::string CQikCalLogData::IsoPotentialText(double value)
{
    if (!std::isfinite(value)) {
        return "Isopotential point[ppm] = Infinite , POSSIBLE ERROR";
    }
    if (value == 0.0) {
        return "Isopotential point[ppm] = null (requires 3 point calibration)";
    }
    return FormatCLocale("%f.", value);
}

void CQikCalLogData::WriteIsoPotential(const std::string& heading)
{
    // The record keeps the isopotential point where the fourth point's standard value
    // lies (byte 192 of its stored image).
    const double value = m_channel->GetRecord().segments[3].standard;
    AddPair(heading, IsoPotentialText(value));
}
