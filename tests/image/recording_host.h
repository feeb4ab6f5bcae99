// A fake ImageHost that records everything the image code asks of the engine.
//
// Single-threaded: use it from the thread that runs the code under test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "image/image_host.h"

namespace kvx {

class RecordingHost : public ImageHost {
 public:
  struct Line {
    std::string text;
    COLORREF colour;
    int kind;
  };

  // What the code did, in order.
  std::vector<Line> lines;
  std::vector<int> posted;       // operator message ids
  std::vector<int> disconnects;  // Disconnect ids
  std::vector<std::string> information;

  // What the code sees.
  bool dev_mode = false;
  std::string file_path = "/firmware/KVX_1.bin";

  void WriteLog(std::string_view text, COLORREF colour, int kind) override {
    lines.push_back({std::string(text), colour, kind});
  }
  void PostOperatorMessage(int string_id) override { posted.push_back(string_id); }
  void Disconnect(int string_id) override { disconnects.push_back(string_id); }
  bool IsDevMode() const override { return dev_mode; }
  void ShowInformation(const std::string& text) override { information.push_back(text); }
  std::string FilePath() const override { return file_path; }
  void ClearFilePath() override { file_path.clear(); }

  // The trace texts alone, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Line& line : lines) texts.push_back(line.text);
    return texts;
  }

  bool Traced(std::string_view text) const {
    for (const Line& line : lines) {
      if (line.text == text) return true;
    }
    return false;
  }

  void ClearRecords() {
    lines.clear();
    posted.clear();
    disconnects.clear();
    information.clear();
  }
};

}  // namespace kvx
