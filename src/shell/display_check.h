#pragma once

// Whether the X display named by DISPLAY takes a client: a connection opens, with whatever
// authorisation the environment gives, and is closed again at once.
bool xDisplayAnswers();
