#pragma once

namespace corvalin {

class StationController;
class TfrmCorvalinRadio;

// Lets the station run the window: the operator's buttons, title panels, alarms and sliders reach
// the station's handlers, the window's activation runs FormActivate and its closing FormClose.
void connectStation(TfrmCorvalinRadio& window, StationController& station);

// A second start asks the running station to come forward. While its creation has not finished
// (the zip code prompt, a setup box) the open box comes forward and the window stays hidden, so
// that its first activation still runs the whole start-up.
void raiseForSecondStart(TfrmCorvalinRadio& window, const StationController& station);

} // namespace corvalin
