// A source file outside the layer folders, for the test that the guard finds it.
#pragma once
