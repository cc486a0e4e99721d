// The FFmpeg headers whose declarations type the media function table. Included by code that
// uses the table; nothing here links the libraries.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The engine is written against the FFmpeg 5.1 interfaces (send/receive codecs, the channel
// layout API, av_*_iterate). Another major version means other sonames and other semantics.
static_assert(LIBAVUTIL_VERSION_MAJOR == 57 && LIBAVCODEC_VERSION_MAJOR == 59 &&
                  LIBAVFORMAT_VERSION_MAJOR == 59 && LIBAVFILTER_VERSION_MAJOR == 8 &&
                  LIBAVDEVICE_VERSION_MAJOR == 59 && LIBSWSCALE_VERSION_MAJOR == 6 &&
                  LIBSWRESAMPLE_VERSION_MAJOR == 4,
              "Zembra is built against the FFmpeg 5.1 libraries");
