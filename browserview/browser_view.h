#pragma once

// The embedded browser view: a control that drives a separate browser host process.
