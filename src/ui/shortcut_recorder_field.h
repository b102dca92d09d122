// The settings window's shortcut field: a view of one ShortcutRecorder, with the key box, the
// record/cancel button, the clear button and the conflict message.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "shortcuts/shortcut_recorder.h"

class QPushButton;
class QToolButton;

namespace tallowmere::ui {

class ShortcutRecorderField : public QWidget {
  public:
    // `monitor`, `hotKeys` and `keyboard` must outlive the field.
    ShortcutRecorderField(ShortcutBinding binding, LocalKeyMonitor& monitor, HotKeyCenter& hotKeys,
                          KeyboardGrab& keyboard, QWidget* parent = nullptr);

    // Told what the field shows, the key box and any message below it, at each change (for
    // --verbose).
    void setTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

    ShortcutRecorder& recorder() { return recorder_; }
    // Shows what the recorder says now; the setting may have changed elsewhere.
    void refresh();

  protected:
    // Hidden with its window: a recording must not go on swallowing keys meanwhile.
    void hideEvent(QHideEvent* event) override;

  private:
    class KeyBox;

    ShortcutRecorder recorder_;
    KeyBox* keyBox_;
    QPushButton* recordButton_;
    QToolButton* clearButton_;
    QLabel* errorLine_;
    std::function<void(const std::string&)> trace_;
    std::string traced_;
};

}  // namespace tallowmere::ui
