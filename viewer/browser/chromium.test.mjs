// The visitor's journeys in Chromium (see journeys.mjs and harness.mjs).
import { journeys } from './journeys.mjs';

journeys('chromium');
