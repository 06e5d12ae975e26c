// The visitor's journeys in Webkit (see journeys.mjs and harness.mjs).
import { journeys } from './journeys.mjs';

journeys('webkit');
