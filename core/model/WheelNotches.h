#pragma once

// Wheel turns as whole notches. A classic wheel reports 120 (eighths of a
// degree) per notch; high-resolution wheels and touchpads report the same
// turn in many small parts. Adding them up until a whole notch keeps one
// notch one tuning step whatever the device. Standard library only.

namespace core {

class WheelNotches {
public:
    static constexpr int kNotch = 120;

    // Adds a wheel delta and returns the whole notches completed by it,
    // signed (positive away from the operator); the rest waits for more.
    int Add(int delta)
    {
        rest_ += delta;
        const int notches = rest_ / kNotch;
        rest_ -= notches * kNotch;
        return notches;
    }

    int Rest() const { return rest_; }

private:
    int rest_ = 0;
};

}  // namespace core
