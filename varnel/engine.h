// SPDX-License-Identifier: Apache-2.0
/// \file
/// The engine: mergeable statistics with no fixed capacity. Data arrive as
/// batches of column spans; each batch gives a state, states merge in a
/// fixed order (threads, files, processes), and every analysis is a
/// function of a state plus, where it needs one, a streamed second pass.
#pragma once

#include "varnel/engine/batch.h"
#include "varnel/engine/cholesky.h"
#include "varnel/engine/errors.h"
#include "varnel/engine/flat_moments.h"
#include "varnel/engine/glm.h"
#include "varnel/engine/inference.h"
#include "varnel/engine/kmeans.h"
#include "varnel/engine/least_squares.h"
#include "varnel/engine/mahalanobis.h"
#include "varnel/engine/moments.h"
#include "varnel/engine/observations.h"
#include "varnel/engine/principal_components.h"
#include "varnel/engine/reduce.h"
#include "varnel/engine/refinement.h"
#include "varnel/engine/subsets.h"
