// The whole reactive library.
#pragma once

#include "rx/disposable.h"
#include "rx/observable.h"
#include "rx/operators.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"
