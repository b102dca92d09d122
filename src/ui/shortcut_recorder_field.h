// The settings window's shortcut field: a view of one ShortcutRecorder, with the key box, the
// record/cancel button, the clear button and the conflict message.
#pragma once

#include <QLabel>
#include <QWidget>

#include "app/shortcut_recorder.h"

class QPushButton;
class QToolButton;

namespace tallowmere::ui {

class ShortcutRecorderField : public QWidget {
  public:
    // `monitor` and `hotKeys` must outlive the field.
    ShortcutRecorderField(ShortcutBinding binding, LocalKeyMonitor& monitor, HotKeyCenter& hotKeys,
                          QWidget* parent = nullptr);

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
};

}  // namespace tallowmere::ui
