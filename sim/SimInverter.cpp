#include "sim/SimInverter.h"

SimInverter::SimInverter(int address, const DriveModel::Ratings &ratings)
    : m_drive(ratings), m_address(address)
{
}

SimInverter::~SimInverter() = default;

bool SimInverter::validAddress(int address) const
{
    return address >= lowestAddress() && address <= highestAddress();
}

bool SimInverter::setAddress(int address)
{
    if (!validAddress(address))
        return false;
    m_address = address;
    return true;
}
