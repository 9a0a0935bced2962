#include "engine/base/loader_base.h"

#include "engine/base/stream.h"

StreamRewindGuard::StreamRewindGuard(vq_stream* stream) : stream_(stream) {
    if (stream_ != nullptr) stream_->seek(0, vq_seekStart);
}

StreamRewindGuard::~StreamRewindGuard() {
    if (stream_ != nullptr) stream_->seek(0, vq_seekStart);
}
