// What the monitors show of the message details: the decoder fed with every
// message the window receives, in order (also those the filters hide and
// those arriving while paused), and where its words appear. At the default
// window size the monitors show only their usual texts; the details then
// answer as tooltips (the Explicit row, the sysex block headers, the LEDs).
// A taller window gets a details line under the history, with the clock and
// active sensing rates at its right; a wider one a details column in the
// history and named sysex block headers. One remembered option turns all of
// it off.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_details.h"
#include "core/short_message.h"
#include "midi/input_state.h"

namespace velmora::app {

// What the details view works with in the window: where it shows its words,
// what answers with them on hover, and what it asks of the window.
struct DetailsPlaces {
    QWidget* window;                   // owns the view; laid out anew when the line comes or goes
    QWidget* dataPanel;                // holds the details line
    QWidget* historyBox;               // the line takes its room from it
    QPlainTextEdit* sysexBox;          // its block headers answer with their names
    std::vector<QWidget*> rowLabels;   // the data rows: answer with the details
    std::vector<QWidget*> rateWidgets; // answer with the clock and active sensing rates
    const midi::InputPathState* path;  // the clocks counted by the input path
    std::function<std::int32_t()> nowMs;
    // The boxes show anew what the view adds to them (the column, the names).
    std::function<void()> rebuildBoxes;
};

class DetailsView : public QObject {
    Q_OBJECT
  public:
    // The extra room a window needs beyond its default size: one line of
    // height for the details line, and width for the column and the names.
    static constexpr int kLineHeight = 16;
    static constexpr int kMinColumnRoom = 120;

    explicit DetailsView(DetailsPlaces places);

    // Every short message, first thing when it arrives.
    void Feed(ShortMessage message, std::int32_t ms);
    // The details of the message just fed ("" for none), in the monitors'
    // single-byte text.
    const std::string& Last() const { return last_; }
    // The data rows will show the message just fed (at once, or at the
    // resume when paused).
    void KeepForRows() { pending_ = last_; }
    // The rows were drawn: the details line (and the rows' tooltip) follows them.
    void ShowLine();
    void ClearLine();
    // Adds the column to a history line when it is shown.
    void AddColumn(std::string& line) const;
    bool ColumnShown() const { return on_ && wide_; }

    // A sysex block was listed: decodes it (the first block of a message)
    // and names it in its header line when names are shown.
    void NameBlock(std::string& header, int blockNumber, std::string_view hexText);
    // Names the block headers of a monitor text with '\n' line ends.
    void NameHeaders(std::string& text) const;
    // The name given to a listed block; "" when none.
    std::string BlockName(int blockNumber) const;

    // The window's extra room changed: places the line, shows or hides the
    // column and names (the boxes are rebuilt then).
    void Place(int extraWidth, int extraHeight);
    // The option; on by default.
    bool On() const { return on_; }
    void SetOn(bool on);
    // "clock 120.0 BPM, active sensing 3.3/s", or "" when neither came lately.
    std::string Rates();
    // Shows the rates on the line (when it is shown). Run twice a second.
    void RefreshRates();

    QLabel *lblDetails, *lblRates;
    QTimer* RatesTimer;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShownChanged();
    // Timing clock is counted by the input path, not handed over: gives the
    // decoder the clocks counted since the last look.
    void CatchUpClocks();

    DetailsPlaces places_;
    MessageDetails decoder_;
    std::string last_, pending_, rows_;
    std::map<int, std::string> blockNames_;
    bool on_ = true;
    bool wide_ = false;
    bool tall_ = false;
    std::uint64_t clocksSeen_ = 0;
    std::optional<std::int32_t> seenClockMs_;
};

} // namespace velmora::app
