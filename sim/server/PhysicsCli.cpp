#include "server/PhysicsCli.h"

namespace korvat::sim {

void PhysicsCli::add(QCommandLineParser&) {}

QString PhysicsCli::apply(const QCommandLineParser&, InstrumentOptions&) const { return {}; }

} // namespace korvat::sim
