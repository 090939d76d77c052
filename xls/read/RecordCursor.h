// A cursor over a logical record: the body of a record and the bodies of the CONTINUE
// records after it, one after the other. Numbers, bytes and skips read through the joins
// as if the bodies were one, under the byte cursor's contract (a read the record does not
// hold reads zero, ends the cursor and sets Short). Only characters know of the joins: a
// text whose characters go on in the next body says their width again there, in an option
// byte at that body's start (BIFF8 cuts long texts so, the 16-bit characters of one body
// possibly stored as 8-bit ones in the next).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ByteCursor.h"

namespace vorlix {

class TRecordCursor : public platform::TByteCursor {
  public:
    TRecordCursor() = default;
    // A record of one body.
    TRecordCursor(std::uint16_t id, const std::uint8_t* data, std::size_t size)
        : TByteCursor(data, size), id_(id) {}
    // A record of several bodies; `starts` gives where each body after the first starts
    // (the span must outlive the cursor).
    TRecordCursor(std::uint16_t id, const std::uint8_t* data, std::size_t size,
                  std::span<const std::uint32_t> starts)
        : TByteCursor(data, size), id_(id), starts_(starts) {}

    // The record's id.
    std::uint16_t Id() const { return id_; }
    std::size_t BodyCount() const { return starts_.size() + 1; }
    // The bytes left in the body that holds the position (0 at a body's end: a position
    // where one body ends and the next starts is in the first until NextBody). The cursor
    // only moves forward.
    std::size_t InBody() const { return BodyEnd() - Position(); }
    // Moves to the start of the next body, leaving what is unread of this one; false, and
    // the position unchanged, when this is the last.
    bool NextBody();
    // A cursor over body `index` alone (an empty one past the last).
    platform::TByteCursor Body(std::size_t index) const;

    // `count` characters, starting as 16-bit ones when `wide`. When the characters reach
    // the end of a body, the next body starts with an option byte (bit 0: 16-bit
    // characters) and goes on with them; an empty body is passed over, a lone byte left
    // at the end of a body of 16-bit characters is skipped. `anyWide` becomes true when
    // any part was 16-bit. False when the record ends before the last character: `out`
    // then holds those that were there. No Short flag either way.
    bool ContinuedChars(std::size_t count, bool wide, std::u16string& out, bool& anyWide);

  private:
    // Where the body holding the position ends.
    std::size_t BodyEnd() const;

    std::uint16_t id_ = 0;
    std::span<const std::uint32_t> starts_;
    mutable std::size_t body_ = 0;  // a lower bound of the body that holds the position
};

}  // namespace vorlix
