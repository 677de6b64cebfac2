// Which pictures a batch (--each) converts, and where their tables go.
#pragma once

#include <string>
#include <vector>

#include "run/options.h"

namespace pixtable {

/// One picture of a batch and the path of its table.
struct BatchPicture {
  std::string input;
  std::string output;
};

/// Outcome of `PlanBatch`.
struct BatchPlan {
  /// In the order of the words, each word's matches in byte order of names;
  /// a path that several words match comes once, where it came first. Other
  /// names of one file (links) are pictures of their own.
  std::vector<BatchPicture> pictures;
  /// The HTML files the words matched (the tables of an earlier run), left out.
  std::vector<std::string> html;
  /// The words that matched no file.
  std::vector<std::string> unmatched;
  /// One message for each picture left out: its table would have the path
  /// of an earlier picture's table.
  std::vector<std::string> refused;
};

/// Expands every word of `options.words` into the pictures it names and
/// gives each its table's path (beside it, or under --output-dir).
BatchPlan PlanBatch(const Options& options);

}  // namespace pixtable
