// Every operator of the reactive library. Operators are applied with `|`:
//
//   isCapsDown | rx::filter([](bool down) { return !down; }) | rx::skip(1)
//   relay | rx::debounce(rx::milliseconds(100), scheduler) | rx::observeOn(MainQueue::shared())
//
// basic_operators.h   map, filter, skip, skipWhile, take, takeWhile, distinctUntilChanged, startWith,
//                     filterNil, catchAndReturn, doOnDispose, debug, retry
// time_operators.h    debounce, throttle, timeout, take(duration), observeOn, subscribeOn, delayRetry
// combining.h         merge, combineLatest, zip, withLatestFrom, flatMap
// creation.h          just, empty, never, error, interval, timer
#pragma once

#include "rx/basic_operators.h"
#include "rx/combining.h"
#include "rx/creation.h"
#include "rx/time_operators.h"
