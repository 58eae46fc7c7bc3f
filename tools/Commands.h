// The commands of zelbasxml, each returning the exit status.
#pragma once

namespace zelbasxml_detail {

struct Options;
class Progress;

int RunFormat(const Options& options, Progress& progress);
int RunFind(const Options& options, Progress& progress);
int RunCheck(const Options& options, Progress& progress);
int RunEdit(const Options& options, Progress& progress);

}  // namespace zelbasxml_detail
