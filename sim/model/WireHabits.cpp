#include "model/WireHabits.h"

namespace korvat::sim {

QByteArray lineEndBytes(LineEnd end) {
    switch (end) {
    case LineEnd::Cr:
        return "\r";
    case LineEnd::CrLf:
        return "\r\n";
    case LineEnd::LfCr:
        return "\n\r";
    }
    return "\r";
}

} // namespace korvat::sim
