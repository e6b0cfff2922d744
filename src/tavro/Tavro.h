// Everything a host or a test needs from the library, in one include.
#pragma once

#include "platform/runtime/Continuation.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "platform/sysmodel/GenerationSchema.h"
#include "platform/sysmodel/ScriptedBackend.h"
#include "platform/sysmodel/SystemModel.h"
#include "tavro/core/TavroAction.h"
#include "tavro/core/TavroApproval.h"
#include "tavro/core/TavroElement.h"
#include "tavro/core/TavroScreen.h"
#include "tavro/memory/TavroPerformedStep.h"
#include "tavro/models/TavroModel.h"
#include "tavro/models/TextTavroModel.h"
#include "tavro/core/TavroText.h"
#include "tavro/core/TavroJSON.h"
