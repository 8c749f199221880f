// What the window shows of the selected item beside its info text: a
// picture (the sample and its loop, or a waveform message's cycles) and the
// table of a SysEx item's messages, each on a tab of its own.
//
//   audio file (WAV, AIFF, AIFC)    picture of the sample, by the item's Loop and Stereo
//   stored SDS dump (.syx)          picture of its first whole dump, and its messages
//   LY waveform message(s)          picture of the cycles, and the messages
//   any other SysEx                 the messages
//
// GUI thread. The views point into the entry's buffer: call clear() before
// entries are removed or their buffers replaced, and show_entry again after.
#pragma once

#include <QTabWidget>

#include <cstdint>

namespace j3 {

struct FileEntry;
class SampleView;
class MessageView;

class ItemViews : public QTabWidget {
    Q_OBJECT
  public:
    explicit ItemViews(QWidget* parent = nullptr);

    void show_entry(const FileEntry& entry);
    // The entry's Loop or Stereo choice changed: the picture follows at once.
    void set_choices(int32_t loop_choice, int32_t stereo_choice);
    void clear();

    SampleView* sample_view() const { return sample_view_; }
    MessageView* message_view() const { return message_view_; }

  private:
    void show_message_picture(const uint8_t* message, uint32_t length);

    SampleView* sample_view_;
    MessageView* message_view_;
    int picture_tab_ = 0;
    int messages_tab_ = 1;
    bool showing_audio_file_ = false;  // Loop and Stereo apply to the picture
};

}  // namespace j3
