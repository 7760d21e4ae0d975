// analysis_host.h - what the hole analysis needs from the window around it.
//
// The analysis writes one-line captions to the window's message line and, at the end of
// every finishing pass, replaces the clipboard's contents with the vote report. Painting
// goes straight into the result picture buffer, not through this interface.
#pragma once

#include <string_view>

namespace holescan {

class AnalysisHost {
 public:
  virtual ~AnalysisHost() = default;

  // Replaces the whole caption of the message line.
  virtual void SetCaption(std::string_view caption) = 0;
  // Removes everything from the system clipboard.
  virtual void ClearClipboard() = 0;
  // Places one plain text on the clipboard.
  virtual void SetClipboardText(std::string_view text) = 0;
};

}  // namespace holescan
