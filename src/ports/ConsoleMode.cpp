#include "ports/ConsoleMode.h"

namespace vantor {

std::string_view modeName(ConsoleMode mode) {
    switch (mode) {
        case ConsoleMode::Switching:
            return "switching";
        case ConsoleMode::Auto:
            return "auto";
        case ConsoleMode::Manual:
            return "manual";
        case ConsoleMode::Recovery:
            return "recovery";
        case ConsoleMode::FirmwareFile:
            return "firmware";
    }
    return "unknown";
}

}  // namespace vantor
