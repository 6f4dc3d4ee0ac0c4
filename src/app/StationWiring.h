#pragma once

namespace corvalin {

class StationController;
class TfrmCorvalinRadio;

// Lets the station run the window: the operator's buttons, title panels, alarms and sliders reach
// the station's handlers, the window's activation runs FormActivate and its closing FormClose.
void connectStation(TfrmCorvalinRadio& window, StationController& station);

} // namespace corvalin
