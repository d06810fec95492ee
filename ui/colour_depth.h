// The screen's colour depth, and the question whether to go on in console
// mode when it is too low for the wizard's windows.
#ifndef UI_COLOUR_DEPTH_H
#define UI_COLOUR_DEPTH_H

// The colour-depth question the launcher asks at the end of parsing its
// command line, unless -console or -silent was given, through two seams of
// its run record that tests replace to play a screen and a user. By
// default:
//   ScreenColourDepthOfDisplay: colour planes times bits per pixel of the
//     whole screen; 0 when no device context is available. On Windows 8 and
//     later, which have no lower depth, MinimumColourDepth without asking.
//   AskForConsoleModeInMessageBox: asks "need_more_colors" with Yes and No;
//     true for Yes.
int ScreenColourDepthOfDisplay();
bool AskForConsoleModeInMessageBox();

// Below this many bits per pixel the wizard's windows are not usable.
constexpr int MinimumColourDepth = 8;

#endif
