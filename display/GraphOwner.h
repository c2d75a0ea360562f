#pragma once
// What a plot window asks of the view that owns it: the current data file, the sample store
// its windows share, and the calls that keep the view's four windows in step. The sender is
// passed so the owner can skip it.

#include "display/SampleStore.h"

class CDataFile;
class CGraphWnd;
class CTestFileReader;

class CGraphOwner {
public:
    virtual ~CGraphOwner() = default;

    // The data file the view shows, or null.
    virtual CDataFile* GetDataFile() = 0;
    // The reader of that data file, or null.
    virtual CTestFileReader* GetCurrentReader();
    // The samples the owner's windows share: each channel is read once per unit.
    CSampleStore& GetSampleStore() { return m_samples; }
    // The sender's logarithmic time axis or a display unit changed: the others reload what
    // shows seriesIndex (-1 all) and take the axis mode.
    virtual void SyncDisplayMode(CGraphWnd& sender, int seriesIndex, bool logFormat, bool redraw) = 0;
    virtual void SyncZoom(CGraphWnd& sender, double zoom, double scroll, bool redraw) = 0;
    virtual void SyncScrollPos(CGraphWnd& sender, double scroll, bool redraw) = 0;
    virtual void SyncHorzGrid(CGraphWnd& sender, bool on, bool redraw) = 0;
    virtual void SyncVertGrid(CGraphWnd& sender, bool on, bool redraw) = 0;
    virtual void SyncShowDataPoints(CGraphWnd& sender, bool on, bool redraw) = 0;
    virtual void SyncTimestampMode(CGraphWnd& sender, bool on, bool redraw) = 0;
    // The user clicked into graph: it becomes the active (highlighted) window.
    virtual void SetActiveGraph(CGraphWnd& graph) = 0;
    // Lay out and repaint all four windows.
    virtual void RedrawGraphs() = 0;

private:
    CSampleStore m_samples;
};
