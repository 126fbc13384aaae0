#pragma once

// Why a cut or a reading failed, in the words the window shows the user.

#include <string>

#include "media/hresult.h"

namespace cut {

// A result code the cut queue gives a job whose source is no longer the file it was queued
// from (replaced, or written to, since its thumbnails were made).
constexpr media::HRESULT kSourceChanged = media::makeHresult(0xA0050001u);
// A result code for a file that holds no video stream (the one ThumbDocument::kNoVideo gives).
constexpr media::HRESULT kNoVideoStream = media::makeHresult(0xA0050002u);

// The reason `hr` stands for, as a Japanese sentence, followed by the code in words for the
// codes that have no sentence of their own.
std::string failureReason(media::HRESULT hr);

}  // namespace cut
