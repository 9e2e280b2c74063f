#pragma once

#include <string>

#include "core/system_error.h"

namespace chronvane {

// A sender's file in a textfile collector's folder (node_exporter's, or any that
// reads *.prom). Each write goes to a temporary file beside it, which then takes
// its name in one step: a scrape sees the old figures or the new, never part of
// either, and the temporary name ends in something other than ".prom", so no
// collector ever reads it.
class MetricsFile {
  public:
    MetricsFile(std::string folder, const std::string& device);

    // Replaces the file's content with text. Returns what to tell the operator on
    // the first failure since the start or since the last write that worked
    // ("cannot write the metrics file PATH: REASON"), empty otherwise: a folder
    // that cannot be written is said once, not at every attempt.
    std::string write(const std::string& text);
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    std::string m_temporary;
    bool m_failing = false;
};

// Writes content to temporary and renames it over path, replacing any file there;
// the file can be read by every user (a collector runs as another user). On
// failure nothing is left at temporary. Per platform: file_replace_<platform>.cpp.
SystemError replaceFile(const std::string& path, const std::string& temporary,
                        const std::string& content);

}  // namespace chronvane
