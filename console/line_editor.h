#pragma once
// A line of text typed on the terminal: read, echoed where the caret stands
// and wrapped onto the next row, Backspace taking back a whole character and
// Ctrl+U the whole line; mouse reports read meanwhile move the pointer only.
// Private to the terminal backend.
#include <cstddef>
#include <string>
#include <vector>

#include "console/event_queue.h"
#include "console/input_decoder.h"
#include "console/platform.h"
#include "console/terminal_keyboard.h"
#include "console/terminal_screen.h"

namespace kotodama {

class LineEditor {
 public:
  LineEditor(Platform& platform, TerminalScreen& screen, InputDecoder& decoder, EventQueue& queue,
             KeyboardProtocol& keyboard)
      : platform_(platform), screen_(screen), decoder_(decoder), queue_(queue), keyboard_(keyboard) {}

  // One typed line, in Shift-JIS without its line end; false when input has
  // ended with nothing typed. What arrives after the line waits in the queue.
  bool readLine(std::string& typedLine);

 private:
  // One character of the line being typed: its bytes as typed, and the cell
  // and columns its echo took (0 columns when it did not fit on the screen).
  struct TypedChar {
    std::string typed;
    int column = 0, row = 0, echoed = 0;
  };
  struct LineState {
    std::vector<TypedChar> chars;
    std::size_t bytes = 0;
    int column = 1, row = 1;  // where the next character is echoed
    bool done = false;        // Enter
    bool ended = false;       // end of input on an empty line
  };

  // A mouse report read while a line is typed moves the pointer; its buttons
  // do nothing there. True when the event was one.
  bool notePointer(const InputEvent& event);
  void handleLineEvent(const InputEvent& event, LineState& line);
  void echo(TypedChar& typed, LineState& line);

  Platform& platform_;
  TerminalScreen& screen_;
  InputDecoder& decoder_;
  EventQueue& queue_;
  KeyboardProtocol& keyboard_;
  bool pointerMoved_ = false;  // the pointer moved while a line was read...
  InputEvent pointer_;         // ...to here
};

}  // namespace kotodama
