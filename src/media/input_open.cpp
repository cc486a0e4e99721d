#include "media/input_open.h"

namespace zembra::media {

int OpenInput(InputOpenRequest request, InputFormatContextPtr& opened) {
  // avformat_open_input frees a caller's context when it fails.
  AVFormatContext* context = request.context.release();
  const int result =
      ff.avformat_open_input(&context, request.url.c_str(), request.format, request.options);
  if (result < 0) return result;
  opened.reset(context);
  return 0;
}

}  // namespace zembra::media
