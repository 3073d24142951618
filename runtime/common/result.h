// Results of fallible operations: a value, or what went wrong.
//
// `Result<T>` carries a `Failure`, the user's sentence composed where the failure happened; it
// travels up unchanged. `Expected<T, E>` is the general form, used at the platform seam where a
// call fails with an error code that the logic renders.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <new>

#include "common/text.h"

namespace plinth {

// One of the installer's own texts (texts/messages.h), for failures that are one of them.
enum class Message : std::uint8_t;
// A failure text that is no message of the installer's: a system's text, an update's.
inline constexpr Message kNoMessage = static_cast<Message>(0xFF);

// A failure text: one UTF-8 sentence addressed to the user, shown or printed as it stands.
// When the text is one of the installer's messages, the message and its placeholder values
// travel with it, so that a page can show it in the user's language; the text stays English.
struct Failure {
    std::string text;
    Message message = kNoMessage;
    // The values in the English text's order, each ended by a NUL (they have none: controls are
    // made visible).
    std::string values;
    friend bool operator==(const Failure&, const Failure&) = default;
};

// Marks the error side explicitly, so that T and E may be the same type.
template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Expected {
public:
    Expected(T value) : ok_(true) { new (&value_) T(std::move(value)); }
    template <class U>
    Expected(Unexpected<U> error) : ok_(false) { new (&error_) E(std::move(error.error)); }
    // A failed Status's error, carried on: what fail() makes.
    Expected(Expected<void, E>&& failed) : ok_(false) { new (&error_) E(std::move(failed.error())); }
    Expected(Expected&& other) noexcept : ok_(other.ok_) {
        if (ok_) new (&value_) T(std::move(other.value_));
        else new (&error_) E(std::move(other.error_));
    }
    Expected(const Expected& other) : ok_(other.ok_) {
        if (ok_) new (&value_) T(other.value_);
        else new (&error_) E(other.error_);
    }
    Expected& operator=(Expected&& other) noexcept {
        if (this != &other) {
            destroy();
            ok_ = other.ok_;
            if (ok_) new (&value_) T(std::move(other.value_));
            else new (&error_) E(std::move(other.error_));
        }
        return *this;
    }
    Expected& operator=(const Expected& other) {
        if (this != &other) {
            destroy();
            ok_ = other.ok_;
            if (ok_) new (&value_) T(other.value_);
            else new (&error_) E(other.error_);
        }
        return *this;
    }
    ~Expected() { destroy(); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok(); }

    T& value() & { return value_; }
    const T& value() const& { return value_; }
    T&& value() && { return std::move(value_); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const { return error_; }
    E& error() { return error_; }

private:
    void destroy() {
        if (ok_) value_.~T();
        else error_.~E();
    }
    union {
        T value_;
        E error_;
    };
    bool ok_;
};

template <class E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() {}
    template <class U>
    Expected(Unexpected<U> error) : failed_(true) { new (&error_) E(std::move(error.error)); }
    Expected(Expected&& other) noexcept : failed_(other.failed_) {
        if (failed_) new (&error_) E(std::move(other.error_));
    }
    Expected(const Expected& other) : failed_(other.failed_) {
        if (failed_) new (&error_) E(other.error_);
    }
    Expected& operator=(Expected&& other) noexcept {
        if (this != &other) {
            destroy();
            failed_ = other.failed_;
            if (failed_) new (&error_) E(std::move(other.error_));
        }
        return *this;
    }
    Expected& operator=(const Expected& other) {
        if (this != &other) {
            destroy();
            failed_ = other.failed_;
            if (failed_) new (&error_) E(other.error_);
        }
        return *this;
    }
    ~Expected() { destroy(); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const E& error() const { return error_; }
    E& error() { return error_; }

private:
    void destroy() {
        if (failed_) error_.~E();
    }
    union {
        E error_;
    };
    bool failed_ = false;
};

template <class T>
using Result = Expected<T, Failure>;
using Status = Result<void>;

// Success of a `Status`, spelled as a value.
inline Status success() { return {}; }

// A control character in the text (quoted from a manifest or a registry value) is made visible
// (\0, \n, ...): a NUL would end the failure page's text there, and a line break would forge a
// second setup: line in a caller's log.
// Out of line: a check and a copy at each of the many call sites would cost the stub kilobytes.
// A failed Status rather than an Unexpected: a function that returns a Status has its failure
// built in place, with no move and no destruction of a temporary at each call site.
Status fail(std::string text);
Status fail(const char* text);

// The same, of parts joined (see concat).
Status fail(std::initializer_list<std::string_view> parts);

// A Result's failure passed on as a failed Status, moved once into place (out of line, as fail()).
Status pass_on(Failure&& failure);

}  // namespace plinth
