#pragma once

#include "models/meeting_asr_segment.h"

#include <QList>
#include <QString>

// What a meeting makes of the live transcript, which the streaming
// recogniser resends whole, and sometimes revised, with every partial
// result: the part that is new since the last update, for the summary's
// pending text, and the whole text cut into short segments for the panel's
// raw-transcript list. Lengths are characters (grapheme clusters); every
// function is pure. A meeting reading one transcript after another keeps a
// MeetingTranscriptFollower instead, which reads only what changed.
namespace tovalit::MeetingLiveTranscript {

// The new part of `current` after `previous` (both trimmed first): the
// rest when `current` extends `previous`, nothing when the recogniser
// shortened its text, else everything from the first character on which
// the two differ, so a revision is sent again.
QString meetingTranscriptIncrement(const QString &previous, const QString &current);

// Both trimmed, joined by a line feed when both have text.
QString mergedMeetingIncrementalText(const QString &existing, const QString &increment);

// Sentences (ended by 。！？；!?; or a line feed) gathered into segments of
// about 120 characters, a segment closed once it reaches 140; every one is
// final except the trailing one, which is live while it still grows. Each
// call mints fresh identifiers.
QList<MeetingASRSegment> buildMeetingASRSegments(const QString &text);

} // namespace tovalit::MeetingLiveTranscript
