// The visitor's journeys in Firefox (see journeys.mjs and harness.mjs).
import { journeys } from './journeys.mjs';

journeys('firefox');
