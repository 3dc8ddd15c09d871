// The keyboard the input backend writes to: everything passed and posted goes there as raw struct
// input_event. The real one is UinputDevice; tests use one end of a socket pair. Light changes that the
// desktop sets on it (EV_LED) can be read back from the same descriptor.
#pragma once

namespace vandrel {

class InputOutputDevice {
public:
    virtual ~InputOutputDevice() = default;
    virtual int fd() const = 0;
};

}  // namespace vandrel
