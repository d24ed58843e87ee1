--
-- PostgreSQL database dump
--

\restrict u30PlW5dFx8QN84rfCo0z3SQQxR9FqL9lO35KJZQBSfEZBf1jDSk04KjhyVjbFZ

-- Dumped from database version 15.18 (Debian 15.18-0+deb12u1)
-- Dumped by pg_dump version 15.18 (Debian 15.18-0+deb12u1)

SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

SET default_tablespace = '';

SET default_table_access_method = heap;

--
-- Name: datalog_layouts; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.datalog_layouts (
    layout_id bigint NOT NULL,
    serial bigint NOT NULL,
    file_id integer NOT NULL,
    columns jsonb NOT NULL
);


--
-- Name: datalog_layouts_layout_id_seq; Type: SEQUENCE; Schema: public; Owner: -
--

CREATE SEQUENCE public.datalog_layouts_layout_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1;


--
-- Name: datalog_layouts_layout_id_seq; Type: SEQUENCE OWNED BY; Schema: public; Owner: -
--

ALTER SEQUENCE public.datalog_layouts_layout_id_seq OWNED BY public.datalog_layouts.layout_id;


--
-- Name: datalog_records; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.datalog_records (
    serial bigint NOT NULL,
    file_id integer NOT NULL,
    recorded_at timestamp with time zone NOT NULL,
    seq integer NOT NULL,
    trigger text NOT NULL,
    layout_id bigint NOT NULL,
    vals double precision[] NOT NULL
);


--
-- Name: datalog_values; Type: VIEW; Schema: public; Owner: -
--

CREATE VIEW public.datalog_values AS
 SELECT r.serial,
    r.file_id,
    r.recorded_at,
    r.seq,
    (c.col ->> 0) AS name,
    (c.col ->> 1) AS unit,
    v.value
   FROM (((public.datalog_records r
     JOIN public.datalog_layouts l ON ((l.layout_id = r.layout_id)))
     CROSS JOIN LATERAL unnest(r.vals) WITH ORDINALITY v(value, n))
     JOIN LATERAL jsonb_array_elements(l.columns) WITH ORDINALITY c(col, n) ON ((c.n = v.n)));


--
-- Name: event_records; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.event_records (
    serial bigint NOT NULL,
    recorded_at timestamp with time zone NOT NULL,
    seq integer NOT NULL,
    event_no integer NOT NULL,
    cause text NOT NULL,
    point text NOT NULL,
    state text NOT NULL,
    effect text NOT NULL,
    target text NOT NULL,
    source_id integer NOT NULL,
    effect_id integer NOT NULL,
    value_triggered bigint NOT NULL
);


--
-- Name: events; Type: VIEW; Schema: public; Owner: -
--

CREATE VIEW public.events AS
 SELECT event_records.serial,
    event_records.recorded_at,
    event_records.seq,
    event_records.event_no,
    event_records.cause,
    event_records.point,
    event_records.state,
    event_records.effect,
    event_records.target,
    event_records.value_triggered
   FROM public.event_records;


--
-- Name: live_readings; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.live_readings (
    serial bigint NOT NULL,
    taken_at timestamp with time zone NOT NULL,
    pid integer NOT NULL,
    name text NOT NULL,
    unit text NOT NULL,
    value double precision NOT NULL
);


--
-- Name: log_directory; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.log_directory (
    serial bigint NOT NULL,
    file_id integer NOT NULL,
    type text NOT NULL,
    records integer NOT NULL,
    columns jsonb,
    seen_at timestamp with time zone NOT NULL
);


--
-- Name: meters; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.meters (
    serial bigint NOT NULL,
    model text NOT NULL,
    model_name text NOT NULL,
    firmware text NOT NULL,
    host text NOT NULL,
    port integer NOT NULL,
    last_seen timestamp with time zone NOT NULL,
    info jsonb NOT NULL
);


--
-- Name: readings; Type: VIEW; Schema: public; Owner: -
--

CREATE VIEW public.readings AS
 SELECT live_readings.serial,
    live_readings.taken_at,
    live_readings.name,
    live_readings.unit,
    live_readings.value
   FROM public.live_readings;


--
-- Name: schema_version; Type: TABLE; Schema: public; Owner: -
--

CREATE TABLE public.schema_version (
    version integer NOT NULL
);


--
-- Name: datalog_layouts layout_id; Type: DEFAULT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.datalog_layouts ALTER COLUMN layout_id SET DEFAULT nextval('public.datalog_layouts_layout_id_seq'::regclass);


--
-- Data for Name: datalog_layouts; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.datalog_layouts VALUES (1, 2305001, 1, '[["V1", "V"], ["V2", "V"], ["V3", "V"], ["I1", "A"], ["I2", "A"], ["I3", "A"], ["Total kW", "kW"], ["Total PF", ""], ["kWh import", "kWh"]]');
INSERT INTO public.datalog_layouts VALUES (2, 2305001, 2, '[["kW L1", "kW"], ["kW L2", "kW"], ["kW L3", "kW"], ["Total kvar", "kvar"], ["Total kVA", "kVA"], ["Frequency", "Hz"], ["V1 THD", "%"], ["V2 THD", "%"], ["V3 THD", "%"]]');
INSERT INTO public.datalog_layouts VALUES (3, 2305001, 3, '[["kW import block demand", "kW"], ["kvar import block demand", "kvar"], ["kVA block demand", "kVA"], ["kWh import", "kWh"], ["kWh export", "kWh"], ["kvarh import", "kvarh"], ["Energy REG1", "kWh"]]');
INSERT INTO public.datalog_layouts VALUES (4, 1201784, 1, '[["V1", "V"], ["V2", "V"], ["V3", "V"], ["I1", "A"], ["I2", "A"], ["I3", "A"], ["Total kW", "kW"], ["Total PF", ""], ["kWh import", "kWh"]]');
INSERT INTO public.datalog_layouts VALUES (5, 1201784, 2, '[["kW L1", "kW"], ["kW L2", "kW"], ["kW L3", "kW"], ["Total kvar", "kvar"], ["Total kVA", "kVA"], ["Frequency", "Hz"], ["V1 THD", "%"], ["V2 THD", "%"], ["V3 THD", "%"]]');
INSERT INTO public.datalog_layouts VALUES (6, 1201784, 3, '[["kW import block demand", "kW"], ["kvar import block demand", "kvar"], ["kVA block demand", "kVA"], ["kWh import", "kWh"], ["kWh export", "kWh"], ["kvarh import", "kvarh"], ["Energy REG1", "kWh"]]');


--
-- Data for Name: datalog_records; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 00:15:00+00', 1000, 'SP', 1, '{230.1,231.9,231.4,8.41,8.96,12.82,6.516,0.934,123266.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 00:30:00+00', 1001, 'SP', 1, '{230.9,232.1,231.5,8.26,9.16,12.98,6.57,0.934,123268.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 00:45:00+00', 1002, 'SP', 1, '{230.9,232.2,230.8,8.23,9.44,13.44,6.717,0.934,123270.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 01:00:00+00', 1003, 'SP', 1, '{231.3,232.1,230.5,8.11,9.5,13.69,6.753,0.933,123272.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 01:15:00+00', 1004, 'SP', 1, '{231.6,231.6,230.4,8.13,9.79,13.89,6.86,0.933,123274.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 01:30:00+00', 1005, 'SP', 1, '{231.7,231.8,229.7,8.12,10,14.08,6.937,0.933,123276.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 01:45:00+00', 1006, 'SP', 1, '{232.2,231.7,229.3,8.12,10.23,14.41,7.056,0.933,123278.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 02:00:00+00', 1007, 'SP', 1, '{232.3,230.9,229.2,8.19,10.57,14.66,7.189,0.933,123280.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 02:15:00+00', 1008, 'SP', 1, '{231.9,230.9,228.9,8.14,10.77,15.02,7.288,0.933,123282.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 02:30:00+00', 1009, 'SP', 1, '{231.9,230.3,228.6,8.32,10.93,15.07,7.364,0.933,123284.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 02:45:00+00', 1010, 'SP', 1, '{231.5,229.9,228.5,8.3,11.22,15.45,7.487,0.933,123286.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 03:00:00+00', 1011, 'SP', 1, '{231.5,229.5,228.1,8.3,11.49,15.61,7.571,0.932,123288.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 03:15:00+00', 1012, 'SP', 1, '{231.1,229.4,228.2,8.58,11.88,15.83,7.759,0.932,123290.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 03:30:00+00', 1013, 'SP', 1, '{230.8,228.7,228,8.73,12.18,16.02,7.881,0.932,123292.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 03:45:00+00', 1014, 'SP', 1, '{230.3,228.4,227.8,8.71,12.38,16.08,7.916,0.932,123294.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 04:00:00+00', 1015, 'SP', 1, '{229.8,228.5,228.1,8.99,12.63,16.26,8.069,0.932,123296.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 04:15:00+00', 1016, 'SP', 1, '{229.4,228.2,228.2,9.18,12.98,16.47,8.221,0.931,123298.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 04:30:00+00', 1017, 'SP', 1, '{229,228.3,228.6,9.29,13.21,16.45,8.293,0.931,123300.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 04:45:00+00', 1018, 'SP', 1, '{228.9,228,228.8,9.56,13.57,16.72,8.479,0.931,123302.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 05:00:00+00', 1019, 'SP', 1, '{228.4,228.2,229.1,9.79,13.86,16.75,8.594,0.931,123304.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 05:15:00+00', 1020, 'SP', 1, '{228.3,228.1,229.9,9.94,14.2,16.83,8.724,0.93,123306.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 05:30:00+00', 1021, 'SP', 1, '{228.4,228.2,229.9,10.2,14.37,16.93,8.837,0.93,123308.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 05:45:00+00', 1022, 'SP', 1, '{228.2,228.4,230.2,10.35,14.63,16.9,8.922,0.93,123310.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 06:00:00+00', 1023, 'SP', 1, '{228,229.1,230.7,10.58,14.85,16.93,9.036,0.93,123312.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 06:15:00+00', 1024, 'SP', 1, '{228.1,229.2,231.3,10.85,15.17,16.8,9.145,0.929,123314.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 06:30:00+00', 1025, 'SP', 1, '{228,229.5,231.7,11.3,15.24,16.75,9.251,0.929,123316.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 06:45:00+00', 1026, 'SP', 1, '{228.4,230.1,231.6,11.45,15.52,16.83,9.368,0.929,123318.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 07:00:00+00', 1027, 'SP', 1, '{228.7,230.6,232.1,11.7,15.69,16.68,9.442,0.929,123320.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 07:15:00+00', 1028, 'SP', 1, '{229,230.6,232.1,12,15.88,16.6,9.531,0.929,123322.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 07:30:00+00', 1029, 'SP', 1, '{229.4,231.4,232,12.28,16.03,16.6,9.634,0.928,123324.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 07:45:00+00', 1030, 'SP', 1, '{229.6,231.2,232.2,12.56,16.24,16.39,9.693,0.928,123326.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 08:00:00+00', 1031, 'SP', 1, '{229.8,231.5,232.1,12.85,16.29,16.25,9.741,0.928,123328.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 08:15:00+00', 1032, 'SP', 1, '{230.2,231.8,231.4,13.3,16.58,16.13,9.872,0.928,123330.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 08:30:00+00', 1033, 'SP', 1, '{231.1,232,231.4,13.51,16.71,15.98,9.925,0.928,123332.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 08:45:00+00', 1034, 'SP', 1, '{231.1,232,230.9,13.81,16.74,15.79,9.944,0.928,123334.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 09:00:00+00', 1035, 'SP', 1, '{231.2,232.1,230.9,14.06,16.73,15.51,9.939,0.928,123336.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 09:15:00+00', 1036, 'SP', 1, '{232,232,230.5,14.37,16.92,15.44,10.033,0.927,123338.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 09:30:00+00', 1037, 'SP', 1, '{231.8,231.7,229.8,14.63,16.93,15.14,10.01,0.927,123340.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 09:45:00+00', 1038, 'SP', 1, '{232.2,231.7,229.7,14.88,16.9,14.86,10,0.927,123342.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 10:00:00+00', 1039, 'SP', 1, '{231.9,230.9,229.2,15.05,16.79,14.73,9.961,0.927,123344.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 10:15:00+00', 1040, 'SP', 1, '{232.2,230.5,228.9,15.28,16.9,14.49,9.971,0.927,123346.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 10:30:00+00', 1041, 'SP', 1, '{231.8,230.2,228.5,15.58,16.77,14.23,9.937,0.927,123348.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 10:45:00+00', 1042, 'SP', 1, '{231.6,229.9,228.1,15.62,16.7,13.92,9.854,0.927,123350.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 11:00:00+00', 1043, 'SP', 1, '{231.2,229.8,228,15.94,16.67,13.73,9.865,0.927,123352.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 11:15:00+00', 1044, 'SP', 1, '{231,229.4,227.9,15.97,16.64,13.34,9.773,0.927,123354.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 11:30:00+00', 1045, 'SP', 1, '{231,229,227.9,16.13,16.55,13.17,9.743,0.926,123356.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 11:45:00+00', 1046, 'SP', 1, '{230.4,228.8,228,16.38,16.26,12.81,9.646,0.926,123358.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 12:00:00+00', 1047, 'SP', 1, '{229.9,228.5,228.4,16.38,16.23,12.41,9.548,0.926,123360.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 12:15:00+00', 1048, 'SP', 1, '{229.8,228.3,228.4,16.61,16.09,12.24,9.528,0.926,123362.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 12:30:00+00', 1049, 'SP', 1, '{229.3,228.3,228.7,16.7,15.9,11.87,9.424,0.926,123364.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 12:45:00+00', 1050, 'SP', 1, '{229.1,227.9,228.9,16.78,15.61,11.74,9.344,0.926,123366.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 13:00:00+00', 1051, 'SP', 1, '{228.5,228.3,229.2,16.88,15.4,11.27,9.222,0.926,123368.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 13:15:00+00', 1052, 'SP', 1, '{228.4,228.4,229.4,16.81,15.3,11.14,9.159,0.926,123370.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 13:30:00+00', 1053, 'SP', 1, '{228.2,228.4,230.3,16.89,15.06,10.91,9.08,0.926,123372.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 13:45:00+00', 1054, 'SP', 1, '{227.8,228.8,230.6,16.93,14.75,10.65,8.97,0.926,123374.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 14:00:00+00', 1055, 'SP', 1, '{227.9,228.6,230.6,16.82,14.48,10.35,8.827,0.926,123376.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 14:15:00+00', 1056, 'SP', 1, '{228.2,229.4,231.2,16.86,14.29,10.01,8.744,0.926,123378.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 14:30:00+00', 1057, 'SP', 1, '{228.2,229.7,231.5,16.85,14.03,9.9,8.669,0.926,123380.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 14:45:00+00', 1058, 'SP', 1, '{228.4,230.3,231.9,16.77,13.66,9.66,8.538,0.926,123382.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 15:00:00+00', 1059, 'SP', 1, '{228.9,230.3,231.6,16.52,13.39,9.47,8.393,0.926,123384.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 15:15:00+00', 1060, 'SP', 1, '{228.7,230.6,232.2,16.51,13.25,9.18,8.306,0.927,123386.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 15:30:00+00', 1061, 'SP', 1, '{229.1,231.4,232.2,16.3,12.95,9.03,8.183,0.927,123388.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 15:45:00+00', 1062, 'SP', 1, '{229.4,231.5,231.7,16.13,12.66,8.93,8.062,0.927,123390.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 16:00:00+00', 1063, 'SP', 1, '{230,231.7,231.7,16.03,12.3,8.62,7.91,0.927,123392.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 16:15:00+00', 1064, 'SP', 1, '{230.4,231.8,231.8,15.98,11.95,8.53,7.816,0.927,123394.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 16:30:00+00', 1065, 'SP', 1, '{230.7,232.1,231.4,15.71,11.73,8.45,7.699,0.927,123396.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 16:45:00+00', 1066, 'SP', 1, '{230.9,232.3,231.1,15.52,11.47,8.28,7.569,0.928,123398.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 17:00:00+00', 1067, 'SP', 1, '{231.7,231.8,230.4,15.22,11.17,8.18,7.421,0.928,123400.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 17:15:00+00', 1068, 'SP', 1, '{231.4,231.7,230,14.99,10.94,8.26,7.337,0.928,123402.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 17:30:00+00', 1069, 'SP', 1, '{231.6,231.4,229.9,14.77,10.58,8.14,7.184,0.928,123404.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 17:45:00+00', 1070, 'SP', 1, '{232.1,231.6,229.7,14.61,10.39,8.23,7.138,0.929,123406.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 18:00:00+00', 1071, 'SP', 1, '{232.1,231,228.9,14.38,10.23,8.06,7.011,0.929,123408.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 18:15:00+00', 1072, 'SP', 1, '{231.7,230.8,229,14.13,9.86,8.05,6.868,0.929,123410.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 18:30:00+00', 1073, 'SP', 1, '{232,230.6,228.8,13.87,9.73,8.07,6.791,0.929,123412.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 18:45:00+00', 1074, 'SP', 1, '{231.6,229.9,228.2,13.43,9.52,8.19,6.664,0.93,123414.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 19:00:00+00', 1075, 'SP', 1, '{231.6,229.6,228.3,13.27,9.32,8.22,6.593,0.93,123416.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 19:15:00+00', 1076, 'SP', 1, '{231.2,229,227.9,12.94,9.14,8.32,6.494,0.93,123418.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 19:30:00+00', 1077, 'SP', 1, '{231,228.6,227.9,12.68,8.93,8.49,6.426,0.93,123420.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 19:45:00+00', 1078, 'SP', 1, '{230.4,228.6,227.8,12.37,8.82,8.64,6.361,0.931,123422.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 20:00:00+00', 1079, 'SP', 1, '{230,228.1,228,12.1,8.62,8.67,6.263,0.931,123424.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 20:15:00+00', 1080, 'SP', 1, '{229.5,228.4,228.1,11.8,8.56,8.93,6.24,0.931,123426.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 20:30:00+00', 1081, 'SP', 1, '{229.2,228,228.9,11.58,8.37,8.93,6.155,0.932,123428.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 20:45:00+00', 1082, 'SP', 1, '{228.8,227.8,228.9,11.21,8.28,9.13,6.096,0.932,123430.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 21:00:00+00', 1083, 'SP', 1, '{228.5,227.9,229.3,11.01,8.27,9.32,6.094,0.932,123432.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 21:15:00+00', 1084, 'SP', 1, '{228.3,228.4,229.7,10.78,8.11,9.53,6.061,0.932,123434.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 21:30:00+00', 1085, 'SP', 1, '{227.9,228.6,229.8,10.52,8.08,9.88,6.074,0.933,123436.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 21:45:00+00', 1086, 'SP', 1, '{228.1,228.5,230.3,10.11,8.11,10,6.028,0.933,123438.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 22:00:00+00', 1087, 'SP', 1, '{228.3,229,230.8,10,8.09,10.25,6.065,0.933,123440.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 22:15:00+00', 1088, 'SP', 1, '{228.1,229.4,231.3,9.64,8.15,10.63,6.089,0.933,123442.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 22:30:00+00', 1089, 'SP', 1, '{228.4,229.5,231.7,9.49,8.18,10.8,6.11,0.933,123444.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 22:45:00+00', 1090, 'SP', 1, '{228.3,229.7,231.6,9.26,8.27,11.04,6.133,0.933,123446.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 23:00:00+00', 1091, 'SP', 1, '{228.4,230.5,232,9.04,8.24,11.29,6.144,0.933,123448.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 23:15:00+00', 1092, 'SP', 1, '{229,230.6,231.9,8.9,8.53,11.71,6.273,0.933,123450.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 23:30:00+00', 1093, 'SP', 1, '{229.4,231.2,231.9,8.88,8.59,11.92,6.336,0.934,123452.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-11-30 23:45:00+00', 1094, 'SP', 1, '{229.9,231.3,231.7,8.63,8.61,12.27,6.366,0.934,123454.78}');
INSERT INTO public.datalog_records VALUES (2305001, 1, '2025-12-01 00:00:00+00', 1095, 'SP', 1, '{230.3,232,232,8.58,8.81,12.57,6.473,0.934,123456.78}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 00:15:00+00', 2000, 'SP', 2, '{1.84,1.95,2.726,2.487,6.98,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 00:30:00+00', 2001, 'SP', 2, '{1.814,1.997,2.76,2.507,7.038,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 00:45:00+00', 2002, 'SP', 2, '{1.81,2.059,2.848,2.564,7.195,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 01:00:00+00', 2003, 'SP', 2, '{1.786,2.071,2.896,2.579,7.234,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 01:15:00+00', 2004, 'SP', 2, '{1.796,2.13,2.934,2.619,7.349,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 01:30:00+00', 2005, 'SP', 2, '{1.794,2.178,2.965,2.648,7.432,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 01:45:00+00', 2006, 'SP', 2, '{1.799,2.228,3.029,2.695,7.561,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 02:00:00+00', 2007, 'SP', 2, '{1.817,2.294,3.078,2.747,7.704,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 02:15:00+00', 2008, 'SP', 2, '{1.803,2.338,3.146,2.79,7.812,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 02:30:00+00', 2009, 'SP', 2, '{1.846,2.367,3.151,2.818,7.894,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 02:45:00+00', 2010, 'SP', 2, '{1.837,2.424,3.226,2.871,8.028,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 03:00:00+00', 2011, 'SP', 2, '{1.84,2.478,3.253,2.907,8.12,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 03:15:00+00', 2012, 'SP', 2, '{1.899,2.561,3.298,2.98,8.322,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 03:30:00+00', 2013, 'SP', 2, '{1.93,2.618,3.333,3.03,8.455,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 03:45:00+00', 2014, 'SP', 2, '{1.922,2.655,3.339,3.05,8.495,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 04:00:00+00', 2015, 'SP', 2, '{1.98,2.71,3.379,3.111,8.661,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 04:15:00+00', 2016, 'SP', 2, '{2.02,2.779,3.422,3.175,8.827,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 04:30:00+00', 2017, 'SP', 2, '{2.042,2.83,3.422,3.208,8.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 04:45:00+00', 2018, 'SP', 2, '{2.099,2.902,3.477,3.285,9.108,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 05:00:00+00', 2019, 'SP', 2, '{2.145,2.964,3.486,3.335,9.234,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 05:15:00+00', 2020, 'SP', 2, '{2.178,3.034,3.512,3.392,9.376,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 05:30:00+00', 2021, 'SP', 2, '{2.236,3.072,3.529,3.441,9.5,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 05:45:00+00', 2022, 'SP', 2, '{2.268,3.128,3.527,3.482,9.595,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 06:00:00+00', 2023, 'SP', 2, '{2.316,3.183,3.537,3.533,9.72,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 06:15:00+00', 2024, 'SP', 2, '{2.376,3.252,3.517,3.579,9.839,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 06:30:00+00', 2025, 'SP', 2, '{2.473,3.268,3.51,3.623,9.954,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 06:45:00+00', 2026, 'SP', 2, '{2.511,3.334,3.523,3.678,10.084,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 07:00:00+00', 2027, 'SP', 2, '{2.568,3.374,3.5,3.712,10.166,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 07:15:00+00', 2028, 'SP', 2, '{2.635,3.416,3.48,3.752,10.263,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 07:30:00+00', 2029, 'SP', 2, '{2.703,3.456,3.476,3.8,10.377,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 07:45:00+00', 2030, 'SP', 2, '{2.764,3.497,3.432,3.827,10.442,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 08:00:00+00', 2031, 'SP', 2, '{2.831,3.509,3.401,3.851,10.495,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 08:15:00+00', 2032, 'SP', 2, '{2.933,3.573,3.366,3.905,10.637,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 08:30:00+00', 2033, 'SP', 2, '{2.99,3.603,3.332,3.932,10.697,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 08:45:00+00', 2034, 'SP', 2, '{3.057,3.604,3.283,3.944,10.719,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 09:00:00+00', 2035, 'SP', 2, '{3.111,3.603,3.225,3.946,10.715,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 09:15:00+00', 2036, 'SP', 2, '{3.188,3.639,3.206,3.99,10.818,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 09:30:00+00', 2037, 'SP', 2, '{3.242,3.636,3.132,3.984,10.794,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 09:45:00+00', 2038, 'SP', 2, '{3.302,3.626,3.072,3.984,10.785,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 10:00:00+00', 2039, 'SP', 2, '{3.333,3.589,3.039,3.976,10.745,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 10:15:00+00', 2040, 'SP', 2, '{3.386,3.601,2.984,3.985,10.757,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 10:30:00+00', 2041, 'SP', 2, '{3.444,3.567,2.925,3.974,10.721,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 10:45:00+00', 2042, 'SP', 2, '{3.449,3.547,2.858,3.948,10.634,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 11:00:00+00', 2043, 'SP', 2, '{3.511,3.537,2.818,3.957,10.647,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 11:15:00+00', 2044, 'SP', 2, '{3.513,3.524,2.737,3.925,10.549,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 11:30:00+00', 2045, 'SP', 2, '{3.545,3.496,2.702,3.918,10.517,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 11:45:00+00', 2046, 'SP', 2, '{3.587,3.429,2.63,3.88,10.413,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 12:00:00+00', 2047, 'SP', 2, '{3.578,3.418,2.553,3.845,10.308,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 12:15:00+00', 2048, 'SP', 2, '{3.624,3.384,2.52,3.84,10.287,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 12:30:00+00', 2049, 'SP', 2, '{3.634,3.343,2.447,3.8,10.175,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 12:45:00+00', 2050, 'SP', 2, '{3.644,3.276,2.423,3.772,10.089,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 13:00:00+00', 2051, 'SP', 2, '{3.655,3.235,2.332,3.722,9.957,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 13:15:00+00', 2052, 'SP', 2, '{3.634,3.216,2.308,3.703,9.89,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 13:30:00+00', 2053, 'SP', 2, '{3.646,3.165,2.27,3.673,9.806,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 13:45:00+00', 2054, 'SP', 2, '{3.646,3.106,2.219,3.628,9.687,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 14:00:00+00', 2055, 'SP', 2, '{3.623,3.047,2.157,3.571,9.532,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 14:15:00+00', 2056, 'SP', 2, '{3.633,3.016,2.095,3.535,9.44,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 14:30:00+00', 2057, 'SP', 2, '{3.629,2.964,2.076,3.506,9.36,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 14:45:00+00', 2058, 'SP', 2, '{3.614,2.894,2.03,3.451,9.217,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 15:00:00+00', 2059, 'SP', 2, '{3.565,2.839,1.989,3.393,9.06,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 15:15:00+00', 2060, 'SP', 2, '{3.558,2.812,1.935,3.354,8.964,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 15:30:00+00', 2061, 'SP', 2, '{3.519,2.76,1.905,3.304,8.831,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 15:45:00+00', 2062, 'SP', 2, '{3.484,2.698,1.88,3.253,8.7,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 16:00:00+00', 2063, 'SP', 2, '{3.471,2.625,1.815,3.185,8.533,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 16:15:00+00', 2064, 'SP', 2, '{3.465,2.553,1.798,3.143,8.43,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 16:30:00+00', 2065, 'SP', 2, '{3.41,2.509,1.78,3.094,8.302,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 16:45:00+00', 2066, 'SP', 2, '{3.37,2.456,1.743,3.036,8.16,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 17:00:00+00', 2067, 'SP', 2, '{3.315,2.388,1.718,2.972,7.998,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 17:15:00+00', 2068, 'SP', 2, '{3.262,2.341,1.734,2.936,7.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 17:30:00+00', 2069, 'SP', 2, '{3.216,2.26,1.708,2.868,7.739,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 17:45:00+00', 2070, 'SP', 2, '{3.188,2.223,1.727,2.845,7.688,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 18:00:00+00', 2071, 'SP', 2, '{3.138,2.186,1.687,2.787,7.547,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 18:15:00+00', 2072, 'SP', 2, '{3.077,2.105,1.686,2.725,7.392,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 18:30:00+00', 2073, 'SP', 2, '{3.024,2.077,1.689,2.689,7.306,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 18:45:00+00', 2074, 'SP', 2, '{2.925,2.026,1.713,2.635,7.168,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 19:00:00+00', 2075, 'SP', 2, '{2.889,1.984,1.72,2.6,7.09,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 19:15:00+00', 2076, 'SP', 2, '{2.815,1.941,1.738,2.555,6.981,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 19:30:00+00', 2077, 'SP', 2, '{2.756,1.894,1.776,2.523,6.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 19:45:00+00', 2078, 'SP', 2, '{2.682,1.873,1.807,2.493,6.835,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 20:00:00+00', 2079, 'SP', 2, '{2.62,1.828,1.815,2.448,6.726,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 20:15:00+00', 2080, 'SP', 2, '{2.55,1.818,1.872,2.434,6.7,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 20:30:00+00', 2081, 'SP', 2, '{2.5,1.777,1.878,2.394,6.606,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 20:45:00+00', 2082, 'SP', 2, '{2.417,1.758,1.921,2.367,6.541,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 21:00:00+00', 2083, 'SP', 2, '{2.373,1.757,1.965,2.361,6.538,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 21:15:00+00', 2084, 'SP', 2, '{2.322,1.727,2.012,2.343,6.501,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 21:30:00+00', 2085, 'SP', 2, '{2.262,1.724,2.087,2.345,6.513,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 21:45:00+00', 2086, 'SP', 2, '{2.178,1.731,2.119,2.324,6.463,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 22:00:00+00', 2087, 'SP', 2, '{2.157,1.732,2.176,2.333,6.501,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 22:15:00+00', 2088, 'SP', 2, '{2.079,1.748,2.262,2.341,6.527,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 22:30:00+00', 2089, 'SP', 2, '{2.05,1.758,2.302,2.345,6.548,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 22:45:00+00', 2090, 'SP', 2, '{2.002,1.779,2.353,2.351,6.572,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 23:00:00+00', 2091, 'SP', 2, '{1.956,1.779,2.41,2.353,6.583,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 23:15:00+00', 2092, 'SP', 2, '{1.933,1.843,2.497,2.4,6.72,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 23:30:00+00', 2093, 'SP', 2, '{1.932,1.862,2.542,2.42,6.786,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-11-30 23:45:00+00', 2094, 'SP', 2, '{1.883,1.868,2.615,2.432,6.819,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 2, '2025-12-01 00:00:00+00', 2095, 'SP', 2, '{1.876,1.917,2.679,2.471,6.933,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 00:15:00+00', 3000, 'SP', 3, '{6.32,2.413,6.77,123266.78,123.45,45607.65,123266.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 00:30:00+00', 3001, 'SP', 3, '{6.373,2.432,6.826,123268.78,123.45,45608.4,123268.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 00:45:00+00', 3002, 'SP', 3, '{6.515,2.487,6.979,123270.78,123.45,45609.15,123270.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 01:00:00+00', 3003, 'SP', 3, '{6.55,2.502,7.017,123272.78,123.45,45609.9,123272.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 01:15:00+00', 3004, 'SP', 3, '{6.654,2.54,7.129,123274.78,123.45,45610.65,123274.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 01:30:00+00', 3005, 'SP', 3, '{6.729,2.569,7.209,123276.78,123.45,45611.4,123276.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 01:45:00+00', 3006, 'SP', 3, '{6.844,2.615,7.334,123278.78,123.45,45612.15,123278.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 02:00:00+00', 3007, 'SP', 3, '{6.973,2.664,7.473,123280.78,123.45,45612.9,123280.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 02:15:00+00', 3008, 'SP', 3, '{7.069,2.706,7.578,123282.78,123.45,45613.65,123282.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 02:30:00+00', 3009, 'SP', 3, '{7.143,2.733,7.657,123284.78,123.45,45614.4,123284.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 02:45:00+00', 3010, 'SP', 3, '{7.262,2.785,7.788,123286.78,123.45,45615.15,123286.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 03:00:00+00', 3011, 'SP', 3, '{7.343,2.82,7.876,123288.78,123.45,45615.9,123288.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 03:15:00+00', 3012, 'SP', 3, '{7.526,2.89,8.073,123290.78,123.45,45616.65,123290.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 03:30:00+00', 3013, 'SP', 3, '{7.645,2.939,8.202,123292.78,123.45,45617.4,123292.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 03:45:00+00', 3014, 'SP', 3, '{7.678,2.958,8.24,123294.78,123.45,45618.15,123294.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 04:00:00+00', 3015, 'SP', 3, '{7.827,3.018,8.401,123296.78,123.45,45618.9,123296.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 04:15:00+00', 3016, 'SP', 3, '{7.975,3.08,8.562,123298.78,123.45,45619.65,123298.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 04:30:00+00', 3017, 'SP', 3, '{8.045,3.112,8.639,123300.78,123.45,45620.4,123300.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 04:45:00+00', 3018, 'SP', 3, '{8.224,3.187,8.835,123302.78,123.45,45621.15,123302.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 05:00:00+00', 3019, 'SP', 3, '{8.336,3.235,8.957,123304.78,123.45,45621.9,123304.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 05:15:00+00', 3020, 'SP', 3, '{8.462,3.29,9.095,123306.78,123.45,45622.65,123306.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 05:30:00+00', 3021, 'SP', 3, '{8.571,3.338,9.215,123308.78,123.45,45623.4,123308.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 05:45:00+00', 3022, 'SP', 3, '{8.655,3.377,9.307,123310.78,123.45,45624.15,123310.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 06:00:00+00', 3023, 'SP', 3, '{8.765,3.427,9.429,123312.78,123.45,45624.9,123312.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 06:15:00+00', 3024, 'SP', 3, '{8.87,3.472,9.543,123314.78,123.45,45625.65,123314.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 06:30:00+00', 3025, 'SP', 3, '{8.974,3.514,9.656,123316.78,123.45,45626.4,123316.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 06:45:00+00', 3026, 'SP', 3, '{9.087,3.568,9.781,123318.78,123.45,45627.15,123318.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 07:00:00+00', 3027, 'SP', 3, '{9.159,3.601,9.861,123320.78,123.45,45627.9,123320.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 07:15:00+00', 3028, 'SP', 3, '{9.245,3.64,9.955,123322.78,123.45,45628.65,123322.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 07:30:00+00', 3029, 'SP', 3, '{9.345,3.686,10.066,123324.78,123.45,45629.4,123324.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 07:45:00+00', 3030, 'SP', 3, '{9.403,3.712,10.129,123326.78,123.45,45630.15,123326.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 08:00:00+00', 3031, 'SP', 3, '{9.449,3.736,10.18,123328.78,123.45,45630.9,123328.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 08:15:00+00', 3032, 'SP', 3, '{9.576,3.788,10.318,123330.78,123.45,45631.65,123330.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 08:30:00+00', 3033, 'SP', 3, '{9.628,3.814,10.376,123332.78,123.45,45632.4,123332.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 08:45:00+00', 3034, 'SP', 3, '{9.646,3.826,10.397,123334.78,123.45,45633.15,123334.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 09:00:00+00', 3035, 'SP', 3, '{9.641,3.828,10.393,123336.78,123.45,45633.9,123336.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 09:15:00+00', 3036, 'SP', 3, '{9.732,3.87,10.494,123338.78,123.45,45634.65,123338.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 09:30:00+00', 3037, 'SP', 3, '{9.71,3.864,10.47,123340.78,123.45,45635.4,123340.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 09:45:00+00', 3038, 'SP', 3, '{9.7,3.864,10.461,123342.78,123.45,45636.15,123342.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 10:00:00+00', 3039, 'SP', 3, '{9.662,3.857,10.422,123344.78,123.45,45636.9,123344.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 10:15:00+00', 3040, 'SP', 3, '{9.672,3.865,10.434,123346.78,123.45,45637.65,123346.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 10:30:00+00', 3041, 'SP', 3, '{9.639,3.855,10.399,123348.78,123.45,45638.4,123348.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 10:45:00+00', 3042, 'SP', 3, '{9.559,3.83,10.315,123350.78,123.45,45639.15,123350.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 11:00:00+00', 3043, 'SP', 3, '{9.569,3.838,10.327,123352.78,123.45,45639.9,123352.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 11:15:00+00', 3044, 'SP', 3, '{9.48,3.807,10.232,123354.78,123.45,45640.65,123354.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 11:30:00+00', 3045, 'SP', 3, '{9.451,3.801,10.202,123356.78,123.45,45641.4,123356.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 11:45:00+00', 3046, 'SP', 3, '{9.357,3.764,10.1,123358.78,123.45,45642.15,123358.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 12:00:00+00', 3047, 'SP', 3, '{9.262,3.73,9.999,123360.78,123.45,45642.9,123360.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 12:15:00+00', 3048, 'SP', 3, '{9.243,3.725,9.979,123362.78,123.45,45643.65,123362.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 12:30:00+00', 3049, 'SP', 3, '{9.142,3.686,9.87,123364.78,123.45,45644.4,123364.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 12:45:00+00', 3050, 'SP', 3, '{9.064,3.659,9.787,123366.78,123.45,45645.15,123366.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 13:00:00+00', 3051, 'SP', 3, '{8.945,3.61,9.658,123368.78,123.45,45645.9,123368.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 13:15:00+00', 3052, 'SP', 3, '{8.884,3.592,9.593,123370.78,123.45,45646.65,123370.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 13:30:00+00', 3053, 'SP', 3, '{8.808,3.562,9.512,123372.78,123.45,45647.4,123372.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 13:45:00+00', 3054, 'SP', 3, '{8.701,3.52,9.396,123374.78,123.45,45648.15,123374.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 14:00:00+00', 3055, 'SP', 3, '{8.562,3.464,9.246,123376.78,123.45,45648.9,123376.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 14:15:00+00', 3056, 'SP', 3, '{8.481,3.429,9.157,123378.78,123.45,45649.65,123378.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 14:30:00+00', 3057, 'SP', 3, '{8.409,3.401,9.079,123380.78,123.45,45650.4,123380.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 14:45:00+00', 3058, 'SP', 3, '{8.282,3.348,8.94,123382.78,123.45,45651.15,123382.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 15:00:00+00', 3059, 'SP', 3, '{8.141,3.291,8.788,123384.78,123.45,45651.9,123384.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 15:15:00+00', 3060, 'SP', 3, '{8.056,3.254,8.695,123386.78,123.45,45652.65,123386.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 15:30:00+00', 3061, 'SP', 3, '{7.937,3.205,8.566,123388.78,123.45,45653.4,123388.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 15:45:00+00', 3062, 'SP', 3, '{7.82,3.155,8.439,123390.78,123.45,45654.15,123390.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 16:00:00+00', 3063, 'SP', 3, '{7.673,3.09,8.277,123392.78,123.45,45654.9,123392.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 16:15:00+00', 3064, 'SP', 3, '{7.582,3.049,8.177,123394.78,123.45,45655.65,123394.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 16:30:00+00', 3065, 'SP', 3, '{7.468,3.001,8.053,123396.78,123.45,45656.4,123396.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 16:45:00+00', 3066, 'SP', 3, '{7.342,2.945,7.915,123398.78,123.45,45657.15,123398.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 17:00:00+00', 3067, 'SP', 3, '{7.199,2.883,7.758,123400.78,123.45,45657.9,123400.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 17:15:00+00', 3068, 'SP', 3, '{7.116,2.848,7.669,123402.78,123.45,45658.65,123402.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 17:30:00+00', 3069, 'SP', 3, '{6.968,2.782,7.507,123404.78,123.45,45659.4,123404.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 17:45:00+00', 3070, 'SP', 3, '{6.924,2.76,7.457,123406.78,123.45,45660.15,123406.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 18:00:00+00', 3071, 'SP', 3, '{6.8,2.704,7.321,123408.78,123.45,45660.9,123408.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 18:15:00+00', 3072, 'SP', 3, '{6.662,2.643,7.17,123410.78,123.45,45661.65,123410.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 18:30:00+00', 3073, 'SP', 3, '{6.587,2.608,7.087,123412.78,123.45,45662.4,123412.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 18:45:00+00', 3074, 'SP', 3, '{6.464,2.555,6.953,123414.78,123.45,45663.15,123414.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 19:00:00+00', 3075, 'SP', 3, '{6.395,2.522,6.877,123416.78,123.45,45663.9,123416.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 19:15:00+00', 3076, 'SP', 3, '{6.299,2.479,6.772,123418.78,123.45,45664.65,123418.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 19:30:00+00', 3077, 'SP', 3, '{6.233,2.447,6.699,123420.78,123.45,45665.4,123420.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 19:45:00+00', 3078, 'SP', 3, '{6.17,2.418,6.63,123422.78,123.45,45666.15,123422.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 20:00:00+00', 3079, 'SP', 3, '{6.075,2.374,6.524,123424.78,123.45,45666.9,123424.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 20:15:00+00', 3080, 'SP', 3, '{6.053,2.361,6.499,123426.78,123.45,45667.65,123426.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 20:30:00+00', 3081, 'SP', 3, '{5.97,2.322,6.408,123428.78,123.45,45668.4,123428.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 20:45:00+00', 3082, 'SP', 3, '{5.913,2.296,6.345,123430.78,123.45,45669.15,123430.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 21:00:00+00', 3083, 'SP', 3, '{5.912,2.29,6.342,123432.78,123.45,45669.9,123432.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 21:15:00+00', 3084, 'SP', 3, '{5.879,2.273,6.306,123434.78,123.45,45670.65,123434.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 21:30:00+00', 3085, 'SP', 3, '{5.891,2.275,6.318,123436.78,123.45,45671.4,123436.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 21:45:00+00', 3086, 'SP', 3, '{5.847,2.254,6.269,123438.78,123.45,45672.15,123438.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 22:00:00+00', 3087, 'SP', 3, '{5.883,2.263,6.306,123440.78,123.45,45672.9,123440.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 22:15:00+00', 3088, 'SP', 3, '{5.907,2.271,6.331,123442.78,123.45,45673.65,123442.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 22:30:00+00', 3089, 'SP', 3, '{5.927,2.274,6.351,123444.78,123.45,45674.4,123444.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 22:45:00+00', 3090, 'SP', 3, '{5.949,2.28,6.375,123446.78,123.45,45675.15,123446.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 23:00:00+00', 3091, 'SP', 3, '{5.96,2.282,6.385,123448.78,123.45,45675.9,123448.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 23:15:00+00', 3092, 'SP', 3, '{6.085,2.328,6.519,123450.78,123.45,45676.65,123450.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 23:30:00+00', 3093, 'SP', 3, '{6.146,2.348,6.583,123452.78,123.45,45677.4,123452.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-11-30 23:45:00+00', 3094, 'SP', 3, '{6.175,2.359,6.615,123454.78,123.45,45678.15,123454.78}');
INSERT INTO public.datalog_records VALUES (2305001, 3, '2025-12-01 00:00:00+00', 3095, 'SP', 3, '{6.279,2.397,6.725,123456.78,123.45,45678.9,123456.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 00:15:00+00', 1000, 'SP', 4, '{230.1,231.9,231.4,8.41,8.96,12.82,6.516,0.934,123266.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 00:30:00+00', 1001, 'SP', 4, '{230.9,232.1,231.5,8.26,9.16,12.98,6.57,0.934,123268.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 00:45:00+00', 1002, 'SP', 4, '{230.9,232.2,230.8,8.23,9.44,13.44,6.717,0.934,123270.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 01:00:00+00', 1003, 'SP', 4, '{231.3,232.1,230.5,8.11,9.5,13.69,6.753,0.933,123272.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 01:15:00+00', 1004, 'SP', 4, '{231.6,231.6,230.4,8.13,9.79,13.89,6.86,0.933,123274.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 01:30:00+00', 1005, 'SP', 4, '{231.7,231.8,229.7,8.12,10,14.08,6.937,0.933,123276.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 01:45:00+00', 1006, 'SP', 4, '{232.2,231.7,229.3,8.12,10.23,14.41,7.056,0.933,123278.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 02:00:00+00', 1007, 'SP', 4, '{232.3,230.9,229.2,8.19,10.57,14.66,7.189,0.933,123280.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 02:15:00+00', 1008, 'SP', 4, '{231.9,230.9,228.9,8.14,10.77,15.02,7.288,0.933,123282.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 02:30:00+00', 1009, 'SP', 4, '{231.9,230.3,228.6,8.32,10.93,15.07,7.364,0.933,123284.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 02:45:00+00', 1010, 'SP', 4, '{231.5,229.9,228.5,8.3,11.22,15.45,7.487,0.933,123286.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 03:00:00+00', 1011, 'SP', 4, '{231.5,229.5,228.1,8.3,11.49,15.61,7.571,0.932,123288.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 03:15:00+00', 1012, 'SP', 4, '{231.1,229.4,228.2,8.58,11.88,15.83,7.759,0.932,123290.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 03:30:00+00', 1013, 'SP', 4, '{230.8,228.7,228,8.73,12.18,16.02,7.881,0.932,123292.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 03:45:00+00', 1014, 'SP', 4, '{230.3,228.4,227.8,8.71,12.38,16.08,7.916,0.932,123294.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 04:00:00+00', 1015, 'SP', 4, '{229.8,228.5,228.1,8.99,12.63,16.26,8.069,0.932,123296.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 04:15:00+00', 1016, 'SP', 4, '{229.4,228.2,228.2,9.18,12.98,16.47,8.221,0.931,123298.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 04:30:00+00', 1017, 'SP', 4, '{229,228.3,228.6,9.29,13.21,16.45,8.293,0.931,123300.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 04:45:00+00', 1018, 'SP', 4, '{228.9,228,228.8,9.56,13.57,16.72,8.479,0.931,123302.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 05:00:00+00', 1019, 'SP', 4, '{228.4,228.2,229.1,9.79,13.86,16.75,8.594,0.931,123304.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 05:15:00+00', 1020, 'SP', 4, '{228.3,228.1,229.9,9.94,14.2,16.83,8.724,0.93,123306.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 05:30:00+00', 1021, 'SP', 4, '{228.4,228.2,229.9,10.2,14.37,16.93,8.837,0.93,123308.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 05:45:00+00', 1022, 'SP', 4, '{228.2,228.4,230.2,10.35,14.63,16.9,8.922,0.93,123310.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 06:00:00+00', 1023, 'SP', 4, '{228,229.1,230.7,10.58,14.85,16.93,9.036,0.93,123312.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 06:15:00+00', 1024, 'SP', 4, '{228.1,229.2,231.3,10.85,15.17,16.8,9.145,0.929,123314.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 06:30:00+00', 1025, 'SP', 4, '{228,229.5,231.7,11.3,15.24,16.75,9.251,0.929,123316.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 06:45:00+00', 1026, 'SP', 4, '{228.4,230.1,231.6,11.45,15.52,16.83,9.368,0.929,123318.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 07:00:00+00', 1027, 'SP', 4, '{228.7,230.6,232.1,11.7,15.69,16.68,9.442,0.929,123320.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 07:15:00+00', 1028, 'SP', 4, '{229,230.6,232.1,12,15.88,16.6,9.531,0.929,123322.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 07:30:00+00', 1029, 'SP', 4, '{229.4,231.4,232,12.28,16.03,16.6,9.634,0.928,123324.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 07:45:00+00', 1030, 'SP', 4, '{229.6,231.2,232.2,12.56,16.24,16.39,9.693,0.928,123326.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 08:00:00+00', 1031, 'SP', 4, '{229.8,231.5,232.1,12.85,16.29,16.25,9.741,0.928,123328.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 08:15:00+00', 1032, 'SP', 4, '{230.2,231.8,231.4,13.3,16.58,16.13,9.872,0.928,123330.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 08:30:00+00', 1033, 'SP', 4, '{231.1,232,231.4,13.51,16.71,15.98,9.925,0.928,123332.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 08:45:00+00', 1034, 'SP', 4, '{231.1,232,230.9,13.81,16.74,15.79,9.944,0.928,123334.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 09:00:00+00', 1035, 'SP', 4, '{231.2,232.1,230.9,14.06,16.73,15.51,9.939,0.928,123336.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 09:15:00+00', 1036, 'SP', 4, '{232,232,230.5,14.37,16.92,15.44,10.033,0.927,123338.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 09:30:00+00', 1037, 'SP', 4, '{231.8,231.7,229.8,14.63,16.93,15.14,10.01,0.927,123340.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 09:45:00+00', 1038, 'SP', 4, '{232.2,231.7,229.7,14.88,16.9,14.86,10,0.927,123342.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 10:00:00+00', 1039, 'SP', 4, '{231.9,230.9,229.2,15.05,16.79,14.73,9.961,0.927,123344.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 10:15:00+00', 1040, 'SP', 4, '{232.2,230.5,228.9,15.28,16.9,14.49,9.971,0.927,123346.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 10:30:00+00', 1041, 'SP', 4, '{231.8,230.2,228.5,15.58,16.77,14.23,9.937,0.927,123348.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 10:45:00+00', 1042, 'SP', 4, '{231.6,229.9,228.1,15.62,16.7,13.92,9.854,0.927,123350.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 11:00:00+00', 1043, 'SP', 4, '{231.2,229.8,228,15.94,16.67,13.73,9.865,0.927,123352.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 11:15:00+00', 1044, 'SP', 4, '{231,229.4,227.9,15.97,16.64,13.34,9.773,0.927,123354.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 11:30:00+00', 1045, 'SP', 4, '{231,229,227.9,16.13,16.55,13.17,9.743,0.926,123356.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 11:45:00+00', 1046, 'SP', 4, '{230.4,228.8,228,16.38,16.26,12.81,9.646,0.926,123358.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 12:00:00+00', 1047, 'SP', 4, '{229.9,228.5,228.4,16.38,16.23,12.41,9.548,0.926,123360.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 12:15:00+00', 1048, 'SP', 4, '{229.8,228.3,228.4,16.61,16.09,12.24,9.528,0.926,123362.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 12:30:00+00', 1049, 'SP', 4, '{229.3,228.3,228.7,16.7,15.9,11.87,9.424,0.926,123364.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 12:45:00+00', 1050, 'SP', 4, '{229.1,227.9,228.9,16.78,15.61,11.74,9.344,0.926,123366.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 13:00:00+00', 1051, 'SP', 4, '{228.5,228.3,229.2,16.88,15.4,11.27,9.222,0.926,123368.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 13:15:00+00', 1052, 'SP', 4, '{228.4,228.4,229.4,16.81,15.3,11.14,9.159,0.926,123370.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 13:30:00+00', 1053, 'SP', 4, '{228.2,228.4,230.3,16.89,15.06,10.91,9.08,0.926,123372.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 13:45:00+00', 1054, 'SP', 4, '{227.8,228.8,230.6,16.93,14.75,10.65,8.97,0.926,123374.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 14:00:00+00', 1055, 'SP', 4, '{227.9,228.6,230.6,16.82,14.48,10.35,8.827,0.926,123376.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 14:15:00+00', 1056, 'SP', 4, '{228.2,229.4,231.2,16.86,14.29,10.01,8.744,0.926,123378.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 14:30:00+00', 1057, 'SP', 4, '{228.2,229.7,231.5,16.85,14.03,9.9,8.669,0.926,123380.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 14:45:00+00', 1058, 'SP', 4, '{228.4,230.3,231.9,16.77,13.66,9.66,8.538,0.926,123382.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 15:00:00+00', 1059, 'SP', 4, '{228.9,230.3,231.6,16.52,13.39,9.47,8.393,0.926,123384.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 15:15:00+00', 1060, 'SP', 4, '{228.7,230.6,232.2,16.51,13.25,9.18,8.306,0.927,123386.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 15:30:00+00', 1061, 'SP', 4, '{229.1,231.4,232.2,16.3,12.95,9.03,8.183,0.927,123388.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 15:45:00+00', 1062, 'SP', 4, '{229.4,231.5,231.7,16.13,12.66,8.93,8.062,0.927,123390.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 16:00:00+00', 1063, 'SP', 4, '{230,231.7,231.7,16.03,12.3,8.62,7.91,0.927,123392.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 16:15:00+00', 1064, 'SP', 4, '{230.4,231.8,231.8,15.98,11.95,8.53,7.816,0.927,123394.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 16:30:00+00', 1065, 'SP', 4, '{230.7,232.1,231.4,15.71,11.73,8.45,7.699,0.927,123396.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 16:45:00+00', 1066, 'SP', 4, '{230.9,232.3,231.1,15.52,11.47,8.28,7.569,0.928,123398.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 17:00:00+00', 1067, 'SP', 4, '{231.7,231.8,230.4,15.22,11.17,8.18,7.421,0.928,123400.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 17:15:00+00', 1068, 'SP', 4, '{231.4,231.7,230,14.99,10.94,8.26,7.337,0.928,123402.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 17:30:00+00', 1069, 'SP', 4, '{231.6,231.4,229.9,14.77,10.58,8.14,7.184,0.928,123404.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 17:45:00+00', 1070, 'SP', 4, '{232.1,231.6,229.7,14.61,10.39,8.23,7.138,0.929,123406.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 18:00:00+00', 1071, 'SP', 4, '{232.1,231,228.9,14.38,10.23,8.06,7.011,0.929,123408.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 18:15:00+00', 1072, 'SP', 4, '{231.7,230.8,229,14.13,9.86,8.05,6.868,0.929,123410.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 18:30:00+00', 1073, 'SP', 4, '{232,230.6,228.8,13.87,9.73,8.07,6.791,0.929,123412.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 18:45:00+00', 1074, 'SP', 4, '{231.6,229.9,228.2,13.43,9.52,8.19,6.664,0.93,123414.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 19:00:00+00', 1075, 'SP', 4, '{231.6,229.6,228.3,13.27,9.32,8.22,6.593,0.93,123416.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 19:15:00+00', 1076, 'SP', 4, '{231.2,229,227.9,12.94,9.14,8.32,6.494,0.93,123418.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 19:30:00+00', 1077, 'SP', 4, '{231,228.6,227.9,12.68,8.93,8.49,6.426,0.93,123420.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 19:45:00+00', 1078, 'SP', 4, '{230.4,228.6,227.8,12.37,8.82,8.64,6.361,0.931,123422.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 20:00:00+00', 1079, 'SP', 4, '{230,228.1,228,12.1,8.62,8.67,6.263,0.931,123424.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 20:15:00+00', 1080, 'SP', 4, '{229.5,228.4,228.1,11.8,8.56,8.93,6.24,0.931,123426.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 20:30:00+00', 1081, 'SP', 4, '{229.2,228,228.9,11.58,8.37,8.93,6.155,0.932,123428.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 20:45:00+00', 1082, 'SP', 4, '{228.8,227.8,228.9,11.21,8.28,9.13,6.096,0.932,123430.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 21:00:00+00', 1083, 'SP', 4, '{228.5,227.9,229.3,11.01,8.27,9.32,6.094,0.932,123432.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 21:15:00+00', 1084, 'SP', 4, '{228.3,228.4,229.7,10.78,8.11,9.53,6.061,0.932,123434.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 21:30:00+00', 1085, 'SP', 4, '{227.9,228.6,229.8,10.52,8.08,9.88,6.074,0.933,123436.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 21:45:00+00', 1086, 'SP', 4, '{228.1,228.5,230.3,10.11,8.11,10,6.028,0.933,123438.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 22:00:00+00', 1087, 'SP', 4, '{228.3,229,230.8,10,8.09,10.25,6.065,0.933,123440.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 22:15:00+00', 1088, 'SP', 4, '{228.1,229.4,231.3,9.64,8.15,10.63,6.089,0.933,123442.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 22:30:00+00', 1089, 'SP', 4, '{228.4,229.5,231.7,9.49,8.18,10.8,6.11,0.933,123444.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 22:45:00+00', 1090, 'SP', 4, '{228.3,229.7,231.6,9.26,8.27,11.04,6.133,0.933,123446.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 23:00:00+00', 1091, 'SP', 4, '{228.4,230.5,232,9.04,8.24,11.29,6.144,0.933,123448.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 23:15:00+00', 1092, 'SP', 4, '{229,230.6,231.9,8.9,8.53,11.71,6.273,0.933,123450.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 23:30:00+00', 1093, 'SP', 4, '{229.4,231.2,231.9,8.88,8.59,11.92,6.336,0.934,123452.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-11-30 23:45:00+00', 1094, 'SP', 4, '{229.9,231.3,231.7,8.63,8.61,12.27,6.366,0.934,123454.78}');
INSERT INTO public.datalog_records VALUES (1201784, 1, '2025-12-01 00:00:00+00', 1095, 'SP', 4, '{230.3,232,232,8.58,8.81,12.57,6.473,0.934,123456.78}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 00:15:00+00', 2000, 'SP', 5, '{1.84,1.95,2.726,2.487,6.98,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 00:30:00+00', 2001, 'SP', 5, '{1.814,1.997,2.76,2.507,7.038,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 00:45:00+00', 2002, 'SP', 5, '{1.81,2.059,2.848,2.564,7.195,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 01:00:00+00', 2003, 'SP', 5, '{1.786,2.071,2.896,2.579,7.234,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 01:15:00+00', 2004, 'SP', 5, '{1.796,2.13,2.934,2.619,7.349,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 01:30:00+00', 2005, 'SP', 5, '{1.794,2.178,2.965,2.648,7.432,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 01:45:00+00', 2006, 'SP', 5, '{1.799,2.228,3.029,2.695,7.561,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 02:00:00+00', 2007, 'SP', 5, '{1.817,2.294,3.078,2.747,7.704,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 02:15:00+00', 2008, 'SP', 5, '{1.803,2.338,3.146,2.79,7.812,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 02:30:00+00', 2009, 'SP', 5, '{1.846,2.367,3.151,2.818,7.894,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 02:45:00+00', 2010, 'SP', 5, '{1.837,2.424,3.226,2.871,8.028,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 03:00:00+00', 2011, 'SP', 5, '{1.84,2.478,3.253,2.907,8.12,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 03:15:00+00', 2012, 'SP', 5, '{1.899,2.561,3.298,2.98,8.322,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 03:30:00+00', 2013, 'SP', 5, '{1.93,2.618,3.333,3.03,8.455,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 03:45:00+00', 2014, 'SP', 5, '{1.922,2.655,3.339,3.05,8.495,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 04:00:00+00', 2015, 'SP', 5, '{1.98,2.71,3.379,3.111,8.661,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 04:15:00+00', 2016, 'SP', 5, '{2.02,2.779,3.422,3.175,8.827,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 04:30:00+00', 2017, 'SP', 5, '{2.042,2.83,3.422,3.208,8.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 04:45:00+00', 2018, 'SP', 5, '{2.099,2.902,3.477,3.285,9.108,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 05:00:00+00', 2019, 'SP', 5, '{2.145,2.964,3.486,3.335,9.234,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 05:15:00+00', 2020, 'SP', 5, '{2.178,3.034,3.512,3.392,9.376,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 05:30:00+00', 2021, 'SP', 5, '{2.236,3.072,3.529,3.441,9.5,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 05:45:00+00', 2022, 'SP', 5, '{2.268,3.128,3.527,3.482,9.595,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 06:00:00+00', 2023, 'SP', 5, '{2.316,3.183,3.537,3.533,9.72,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 06:15:00+00', 2024, 'SP', 5, '{2.376,3.252,3.517,3.579,9.839,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 06:30:00+00', 2025, 'SP', 5, '{2.473,3.268,3.51,3.623,9.954,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 06:45:00+00', 2026, 'SP', 5, '{2.511,3.334,3.523,3.678,10.084,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 07:00:00+00', 2027, 'SP', 5, '{2.568,3.374,3.5,3.712,10.166,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 07:15:00+00', 2028, 'SP', 5, '{2.635,3.416,3.48,3.752,10.263,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 07:30:00+00', 2029, 'SP', 5, '{2.703,3.456,3.476,3.8,10.377,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 07:45:00+00', 2030, 'SP', 5, '{2.764,3.497,3.432,3.827,10.442,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 08:00:00+00', 2031, 'SP', 5, '{2.831,3.509,3.401,3.851,10.495,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 08:15:00+00', 2032, 'SP', 5, '{2.933,3.573,3.366,3.905,10.637,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 08:30:00+00', 2033, 'SP', 5, '{2.99,3.603,3.332,3.932,10.697,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 08:45:00+00', 2034, 'SP', 5, '{3.057,3.604,3.283,3.944,10.719,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 09:00:00+00', 2035, 'SP', 5, '{3.111,3.603,3.225,3.946,10.715,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 09:15:00+00', 2036, 'SP', 5, '{3.188,3.639,3.206,3.99,10.818,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 09:30:00+00', 2037, 'SP', 5, '{3.242,3.636,3.132,3.984,10.794,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 09:45:00+00', 2038, 'SP', 5, '{3.302,3.626,3.072,3.984,10.785,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 10:00:00+00', 2039, 'SP', 5, '{3.333,3.589,3.039,3.976,10.745,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 10:15:00+00', 2040, 'SP', 5, '{3.386,3.601,2.984,3.985,10.757,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 10:30:00+00', 2041, 'SP', 5, '{3.444,3.567,2.925,3.974,10.721,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 10:45:00+00', 2042, 'SP', 5, '{3.449,3.547,2.858,3.948,10.634,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 11:00:00+00', 2043, 'SP', 5, '{3.511,3.537,2.818,3.957,10.647,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 11:15:00+00', 2044, 'SP', 5, '{3.513,3.524,2.737,3.925,10.549,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 11:30:00+00', 2045, 'SP', 5, '{3.545,3.496,2.702,3.918,10.517,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 11:45:00+00', 2046, 'SP', 5, '{3.587,3.429,2.63,3.88,10.413,50.02,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 12:00:00+00', 2047, 'SP', 5, '{3.578,3.418,2.553,3.845,10.308,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 12:15:00+00', 2048, 'SP', 5, '{3.624,3.384,2.52,3.84,10.287,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 12:30:00+00', 2049, 'SP', 5, '{3.634,3.343,2.447,3.8,10.175,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 12:45:00+00', 2050, 'SP', 5, '{3.644,3.276,2.423,3.772,10.089,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 13:00:00+00', 2051, 'SP', 5, '{3.655,3.235,2.332,3.722,9.957,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 13:15:00+00', 2052, 'SP', 5, '{3.634,3.216,2.308,3.703,9.89,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 13:30:00+00', 2053, 'SP', 5, '{3.646,3.165,2.27,3.673,9.806,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 13:45:00+00', 2054, 'SP', 5, '{3.646,3.106,2.219,3.628,9.687,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 14:00:00+00', 2055, 'SP', 5, '{3.623,3.047,2.157,3.571,9.532,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 14:15:00+00', 2056, 'SP', 5, '{3.633,3.016,2.095,3.535,9.44,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 14:30:00+00', 2057, 'SP', 5, '{3.629,2.964,2.076,3.506,9.36,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 14:45:00+00', 2058, 'SP', 5, '{3.614,2.894,2.03,3.451,9.217,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 15:00:00+00', 2059, 'SP', 5, '{3.565,2.839,1.989,3.393,9.06,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 15:15:00+00', 2060, 'SP', 5, '{3.558,2.812,1.935,3.354,8.964,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 15:30:00+00', 2061, 'SP', 5, '{3.519,2.76,1.905,3.304,8.831,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 15:45:00+00', 2062, 'SP', 5, '{3.484,2.698,1.88,3.253,8.7,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 16:00:00+00', 2063, 'SP', 5, '{3.471,2.625,1.815,3.185,8.533,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 16:15:00+00', 2064, 'SP', 5, '{3.465,2.553,1.798,3.143,8.43,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 16:30:00+00', 2065, 'SP', 5, '{3.41,2.509,1.78,3.094,8.302,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 16:45:00+00', 2066, 'SP', 5, '{3.37,2.456,1.743,3.036,8.16,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 17:00:00+00', 2067, 'SP', 5, '{3.315,2.388,1.718,2.972,7.998,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 17:15:00+00', 2068, 'SP', 5, '{3.262,2.341,1.734,2.936,7.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 17:30:00+00', 2069, 'SP', 5, '{3.216,2.26,1.708,2.868,7.739,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 17:45:00+00', 2070, 'SP', 5, '{3.188,2.223,1.727,2.845,7.688,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 18:00:00+00', 2071, 'SP', 5, '{3.138,2.186,1.687,2.787,7.547,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 18:15:00+00', 2072, 'SP', 5, '{3.077,2.105,1.686,2.725,7.392,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 18:30:00+00', 2073, 'SP', 5, '{3.024,2.077,1.689,2.689,7.306,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 18:45:00+00', 2074, 'SP', 5, '{2.925,2.026,1.713,2.635,7.168,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 19:00:00+00', 2075, 'SP', 5, '{2.889,1.984,1.72,2.6,7.09,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 19:15:00+00', 2076, 'SP', 5, '{2.815,1.941,1.738,2.555,6.981,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 19:30:00+00', 2077, 'SP', 5, '{2.756,1.894,1.776,2.523,6.906,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 19:45:00+00', 2078, 'SP', 5, '{2.682,1.873,1.807,2.493,6.835,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 20:00:00+00', 2079, 'SP', 5, '{2.62,1.828,1.815,2.448,6.726,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 20:15:00+00', 2080, 'SP', 5, '{2.55,1.818,1.872,2.434,6.7,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 20:30:00+00', 2081, 'SP', 5, '{2.5,1.777,1.878,2.394,6.606,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 20:45:00+00', 2082, 'SP', 5, '{2.417,1.758,1.921,2.367,6.541,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 21:00:00+00', 2083, 'SP', 5, '{2.373,1.757,1.965,2.361,6.538,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 21:15:00+00', 2084, 'SP', 5, '{2.322,1.727,2.012,2.343,6.501,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 21:30:00+00', 2085, 'SP', 5, '{2.262,1.724,2.087,2.345,6.513,50.01,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 21:45:00+00', 2086, 'SP', 5, '{2.178,1.731,2.119,2.324,6.463,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 22:00:00+00', 2087, 'SP', 5, '{2.157,1.732,2.176,2.333,6.501,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 22:15:00+00', 2088, 'SP', 5, '{2.079,1.748,2.262,2.341,6.527,49.98,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 22:30:00+00', 2089, 'SP', 5, '{2.05,1.758,2.302,2.345,6.548,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 22:45:00+00', 2090, 'SP', 5, '{2.002,1.779,2.353,2.351,6.572,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 23:00:00+00', 2091, 'SP', 5, '{1.956,1.779,2.41,2.353,6.583,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 23:15:00+00', 2092, 'SP', 5, '{1.933,1.843,2.497,2.4,6.72,50,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 23:30:00+00', 2093, 'SP', 5, '{1.932,1.862,2.542,2.42,6.786,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-11-30 23:45:00+00', 2094, 'SP', 5, '{1.883,1.868,2.615,2.432,6.819,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 2, '2025-12-01 00:00:00+00', 2095, 'SP', 5, '{1.876,1.917,2.679,2.471,6.933,49.99,2.1,2.4,2.7}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 00:15:00+00', 3000, 'SP', 6, '{6.32,2.413,6.77,123266.78,123.45,45607.65,123266.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 00:30:00+00', 3001, 'SP', 6, '{6.373,2.432,6.826,123268.78,123.45,45608.4,123268.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 00:45:00+00', 3002, 'SP', 6, '{6.515,2.487,6.979,123270.78,123.45,45609.15,123270.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 01:00:00+00', 3003, 'SP', 6, '{6.55,2.502,7.017,123272.78,123.45,45609.9,123272.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 01:15:00+00', 3004, 'SP', 6, '{6.654,2.54,7.129,123274.78,123.45,45610.65,123274.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 01:30:00+00', 3005, 'SP', 6, '{6.729,2.569,7.209,123276.78,123.45,45611.4,123276.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 01:45:00+00', 3006, 'SP', 6, '{6.844,2.615,7.334,123278.78,123.45,45612.15,123278.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 02:00:00+00', 3007, 'SP', 6, '{6.973,2.664,7.473,123280.78,123.45,45612.9,123280.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 02:15:00+00', 3008, 'SP', 6, '{7.069,2.706,7.578,123282.78,123.45,45613.65,123282.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 02:30:00+00', 3009, 'SP', 6, '{7.143,2.733,7.657,123284.78,123.45,45614.4,123284.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 02:45:00+00', 3010, 'SP', 6, '{7.262,2.785,7.788,123286.78,123.45,45615.15,123286.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 03:00:00+00', 3011, 'SP', 6, '{7.343,2.82,7.876,123288.78,123.45,45615.9,123288.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 03:15:00+00', 3012, 'SP', 6, '{7.526,2.89,8.073,123290.78,123.45,45616.65,123290.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 03:30:00+00', 3013, 'SP', 6, '{7.645,2.939,8.202,123292.78,123.45,45617.4,123292.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 03:45:00+00', 3014, 'SP', 6, '{7.678,2.958,8.24,123294.78,123.45,45618.15,123294.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 04:00:00+00', 3015, 'SP', 6, '{7.827,3.018,8.401,123296.78,123.45,45618.9,123296.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 04:15:00+00', 3016, 'SP', 6, '{7.975,3.08,8.562,123298.78,123.45,45619.65,123298.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 04:30:00+00', 3017, 'SP', 6, '{8.045,3.112,8.639,123300.78,123.45,45620.4,123300.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 04:45:00+00', 3018, 'SP', 6, '{8.224,3.187,8.835,123302.78,123.45,45621.15,123302.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 05:00:00+00', 3019, 'SP', 6, '{8.336,3.235,8.957,123304.78,123.45,45621.9,123304.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 05:15:00+00', 3020, 'SP', 6, '{8.462,3.29,9.095,123306.78,123.45,45622.65,123306.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 05:30:00+00', 3021, 'SP', 6, '{8.571,3.338,9.215,123308.78,123.45,45623.4,123308.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 05:45:00+00', 3022, 'SP', 6, '{8.655,3.377,9.307,123310.78,123.45,45624.15,123310.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 06:00:00+00', 3023, 'SP', 6, '{8.765,3.427,9.429,123312.78,123.45,45624.9,123312.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 06:15:00+00', 3024, 'SP', 6, '{8.87,3.472,9.543,123314.78,123.45,45625.65,123314.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 06:30:00+00', 3025, 'SP', 6, '{8.974,3.514,9.656,123316.78,123.45,45626.4,123316.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 06:45:00+00', 3026, 'SP', 6, '{9.087,3.568,9.781,123318.78,123.45,45627.15,123318.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 07:00:00+00', 3027, 'SP', 6, '{9.159,3.601,9.861,123320.78,123.45,45627.9,123320.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 07:15:00+00', 3028, 'SP', 6, '{9.245,3.64,9.955,123322.78,123.45,45628.65,123322.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 07:30:00+00', 3029, 'SP', 6, '{9.345,3.686,10.066,123324.78,123.45,45629.4,123324.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 07:45:00+00', 3030, 'SP', 6, '{9.403,3.712,10.129,123326.78,123.45,45630.15,123326.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 08:00:00+00', 3031, 'SP', 6, '{9.449,3.736,10.18,123328.78,123.45,45630.9,123328.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 08:15:00+00', 3032, 'SP', 6, '{9.576,3.788,10.318,123330.78,123.45,45631.65,123330.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 08:30:00+00', 3033, 'SP', 6, '{9.628,3.814,10.376,123332.78,123.45,45632.4,123332.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 08:45:00+00', 3034, 'SP', 6, '{9.646,3.826,10.397,123334.78,123.45,45633.15,123334.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 09:00:00+00', 3035, 'SP', 6, '{9.641,3.828,10.393,123336.78,123.45,45633.9,123336.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 09:15:00+00', 3036, 'SP', 6, '{9.732,3.87,10.494,123338.78,123.45,45634.65,123338.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 09:30:00+00', 3037, 'SP', 6, '{9.71,3.864,10.47,123340.78,123.45,45635.4,123340.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 09:45:00+00', 3038, 'SP', 6, '{9.7,3.864,10.461,123342.78,123.45,45636.15,123342.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 10:00:00+00', 3039, 'SP', 6, '{9.662,3.857,10.422,123344.78,123.45,45636.9,123344.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 10:15:00+00', 3040, 'SP', 6, '{9.672,3.865,10.434,123346.78,123.45,45637.65,123346.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 10:30:00+00', 3041, 'SP', 6, '{9.639,3.855,10.399,123348.78,123.45,45638.4,123348.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 10:45:00+00', 3042, 'SP', 6, '{9.559,3.83,10.315,123350.78,123.45,45639.15,123350.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 11:00:00+00', 3043, 'SP', 6, '{9.569,3.838,10.327,123352.78,123.45,45639.9,123352.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 11:15:00+00', 3044, 'SP', 6, '{9.48,3.807,10.232,123354.78,123.45,45640.65,123354.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 11:30:00+00', 3045, 'SP', 6, '{9.451,3.801,10.202,123356.78,123.45,45641.4,123356.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 11:45:00+00', 3046, 'SP', 6, '{9.357,3.764,10.1,123358.78,123.45,45642.15,123358.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 12:00:00+00', 3047, 'SP', 6, '{9.262,3.73,9.999,123360.78,123.45,45642.9,123360.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 12:15:00+00', 3048, 'SP', 6, '{9.243,3.725,9.979,123362.78,123.45,45643.65,123362.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 12:30:00+00', 3049, 'SP', 6, '{9.142,3.686,9.87,123364.78,123.45,45644.4,123364.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 12:45:00+00', 3050, 'SP', 6, '{9.064,3.659,9.787,123366.78,123.45,45645.15,123366.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 13:00:00+00', 3051, 'SP', 6, '{8.945,3.61,9.658,123368.78,123.45,45645.9,123368.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 13:15:00+00', 3052, 'SP', 6, '{8.884,3.592,9.593,123370.78,123.45,45646.65,123370.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 13:30:00+00', 3053, 'SP', 6, '{8.808,3.562,9.512,123372.78,123.45,45647.4,123372.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 13:45:00+00', 3054, 'SP', 6, '{8.701,3.52,9.396,123374.78,123.45,45648.15,123374.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 14:00:00+00', 3055, 'SP', 6, '{8.562,3.464,9.246,123376.78,123.45,45648.9,123376.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 14:15:00+00', 3056, 'SP', 6, '{8.481,3.429,9.157,123378.78,123.45,45649.65,123378.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 14:30:00+00', 3057, 'SP', 6, '{8.409,3.401,9.079,123380.78,123.45,45650.4,123380.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 14:45:00+00', 3058, 'SP', 6, '{8.282,3.348,8.94,123382.78,123.45,45651.15,123382.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 15:00:00+00', 3059, 'SP', 6, '{8.141,3.291,8.788,123384.78,123.45,45651.9,123384.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 15:15:00+00', 3060, 'SP', 6, '{8.056,3.254,8.695,123386.78,123.45,45652.65,123386.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 15:30:00+00', 3061, 'SP', 6, '{7.937,3.205,8.566,123388.78,123.45,45653.4,123388.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 15:45:00+00', 3062, 'SP', 6, '{7.82,3.155,8.439,123390.78,123.45,45654.15,123390.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 16:00:00+00', 3063, 'SP', 6, '{7.673,3.09,8.277,123392.78,123.45,45654.9,123392.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 16:15:00+00', 3064, 'SP', 6, '{7.582,3.049,8.177,123394.78,123.45,45655.65,123394.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 16:30:00+00', 3065, 'SP', 6, '{7.468,3.001,8.053,123396.78,123.45,45656.4,123396.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 16:45:00+00', 3066, 'SP', 6, '{7.342,2.945,7.915,123398.78,123.45,45657.15,123398.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 17:00:00+00', 3067, 'SP', 6, '{7.199,2.883,7.758,123400.78,123.45,45657.9,123400.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 17:15:00+00', 3068, 'SP', 6, '{7.116,2.848,7.669,123402.78,123.45,45658.65,123402.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 17:30:00+00', 3069, 'SP', 6, '{6.968,2.782,7.507,123404.78,123.45,45659.4,123404.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 17:45:00+00', 3070, 'SP', 6, '{6.924,2.76,7.457,123406.78,123.45,45660.15,123406.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 18:00:00+00', 3071, 'SP', 6, '{6.8,2.704,7.321,123408.78,123.45,45660.9,123408.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 18:15:00+00', 3072, 'SP', 6, '{6.662,2.643,7.17,123410.78,123.45,45661.65,123410.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 18:30:00+00', 3073, 'SP', 6, '{6.587,2.608,7.087,123412.78,123.45,45662.4,123412.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 18:45:00+00', 3074, 'SP', 6, '{6.464,2.555,6.953,123414.78,123.45,45663.15,123414.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 19:00:00+00', 3075, 'SP', 6, '{6.395,2.522,6.877,123416.78,123.45,45663.9,123416.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 19:15:00+00', 3076, 'SP', 6, '{6.299,2.479,6.772,123418.78,123.45,45664.65,123418.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 19:30:00+00', 3077, 'SP', 6, '{6.233,2.447,6.699,123420.78,123.45,45665.4,123420.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 19:45:00+00', 3078, 'SP', 6, '{6.17,2.418,6.63,123422.78,123.45,45666.15,123422.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 20:00:00+00', 3079, 'SP', 6, '{6.075,2.374,6.524,123424.78,123.45,45666.9,123424.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 20:15:00+00', 3080, 'SP', 6, '{6.053,2.361,6.499,123426.78,123.45,45667.65,123426.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 20:30:00+00', 3081, 'SP', 6, '{5.97,2.322,6.408,123428.78,123.45,45668.4,123428.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 20:45:00+00', 3082, 'SP', 6, '{5.913,2.296,6.345,123430.78,123.45,45669.15,123430.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 21:00:00+00', 3083, 'SP', 6, '{5.912,2.29,6.342,123432.78,123.45,45669.9,123432.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 21:15:00+00', 3084, 'SP', 6, '{5.879,2.273,6.306,123434.78,123.45,45670.65,123434.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 21:30:00+00', 3085, 'SP', 6, '{5.891,2.275,6.318,123436.78,123.45,45671.4,123436.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 21:45:00+00', 3086, 'SP', 6, '{5.847,2.254,6.269,123438.78,123.45,45672.15,123438.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 22:00:00+00', 3087, 'SP', 6, '{5.883,2.263,6.306,123440.78,123.45,45672.9,123440.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 22:15:00+00', 3088, 'SP', 6, '{5.907,2.271,6.331,123442.78,123.45,45673.65,123442.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 22:30:00+00', 3089, 'SP', 6, '{5.927,2.274,6.351,123444.78,123.45,45674.4,123444.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 22:45:00+00', 3090, 'SP', 6, '{5.949,2.28,6.375,123446.78,123.45,45675.15,123446.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 23:00:00+00', 3091, 'SP', 6, '{5.96,2.282,6.385,123448.78,123.45,45675.9,123448.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 23:15:00+00', 3092, 'SP', 6, '{6.085,2.328,6.519,123450.78,123.45,45676.65,123450.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 23:30:00+00', 3093, 'SP', 6, '{6.146,2.348,6.583,123452.78,123.45,45677.4,123452.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-11-30 23:45:00+00', 3094, 'SP', 6, '{6.175,2.359,6.615,123454.78,123.45,45678.15,123454.78}');
INSERT INTO public.datalog_records VALUES (1201784, 3, '2025-12-01 00:00:00+00', 3095, 'SP', 6, '{6.279,2.397,6.725,123456.78,123.45,45678.9,123456.78}');


--
-- Data for Name: event_records; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.event_records VALUES (2305001, '2025-11-30 00:35:07+00', 1, 1, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 01:10:14.952+00', 2, 2, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 01:45:21.28+00', 3, 3, 'SP EVENT', '', '', 'SP operated', '#1', 4352, 57600, 2530);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 02:20:29.453+00', 4, 4, 'SP EVENT', '', '', 'SP released', '#1', 4352, 57856, 2480);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 02:55:36.682+00', 5, 5, 'SP EVENT', '', '', 'SP operated', '#5', 5123, 57604, 820);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 03:30:43.209+00', 6, 6, 'SP EVENT', '', '', 'SP released', '#5', 5123, 57860, 900);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 04:05:51.239+00', 7, 7, 'SP ACTION', 'SP1', '', 'Operate relay RO', '#1', 23040, 12288, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 04:40:58.581+00', 8, 8, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 05:16:05.326+00', 9, 9, 'COMM', '', '', 'Total energy registers cleared', '', 0, 24576, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 05:51:13.314+00', 10, 10, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 06:26:20.387+00', 11, 11, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 07:01:27.074+00', 12, 12, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 07:36:35.819+00', 13, 13, 'SP EVENT', '', '', 'SP operated', '#2', 4352, 57601, 2530);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 08:11:42.672+00', 14, 14, 'SP EVENT', '', '', 'SP released', '#2', 4352, 57857, 2480);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 08:46:49.164+00', 15, 15, 'SP EVENT', '', '', 'SP operated', '#6', 5123, 57605, 820);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 09:21:57.038+00', 16, 16, 'SP EVENT', '', '', 'SP released', '#6', 5123, 57861, 900);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 09:57:04.484+00', 17, 17, 'SP ACTION', 'SP2', '', 'Operate relay RO', '#2', 23041, 12289, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 10:32:11.187+00', 18, 18, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 11:07:19.805+00', 19, 19, 'COMM', '', '', 'Power maximum demands cleared', '', 0, 24833, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 11:42:26.403+00', 20, 20, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 12:17:33.033+00', 21, 21, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 12:52:40.83+00', 22, 22, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 13:27:48.608+00', 23, 23, 'SP EVENT', '', '', 'SP operated', '#3', 4352, 57602, 2530);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 14:02:55.057+00', 24, 24, 'SP EVENT', '', '', 'SP released', '#3', 4352, 57858, 2480);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 14:38:02.425+00', 25, 25, 'SP EVENT', '', '', 'SP operated', '#7', 5123, 57606, 820);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 15:13:10.513+00', 26, 26, 'SP EVENT', '', '', 'SP released', '#7', 5123, 57862, 900);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 15:48:17.425+00', 27, 27, 'SP ACTION', 'SP3', '', 'Operate relay RO', '#3', 23042, 12290, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 16:23:24.931+00', 28, 28, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 16:58:32.507+00', 29, 29, 'COMM', '', '', 'Total energy registers cleared', '', 0, 24576, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 17:33:39.445+00', 30, 30, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 18:08:46.545+00', 31, 31, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 18:43:54.325+00', 32, 32, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 19:19:01.349+00', 33, 33, 'SP EVENT', '', '', 'SP operated', '#4', 4352, 57603, 2530);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 19:54:08.295+00', 34, 34, 'SP EVENT', '', '', 'SP released', '#4', 4352, 57859, 2480);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 20:29:16.987+00', 35, 35, 'SP EVENT', '', '', 'SP operated', '#8', 5123, 57607, 820);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 21:04:23.167+00', 36, 36, 'SP EVENT', '', '', 'SP released', '#8', 5123, 57863, 900);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 21:39:30.07+00', 37, 37, 'SP ACTION', 'SP4', '', 'Operate relay RO', '#4', 23043, 12291, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 22:14:38.645+00', 38, 38, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 22:49:45.29+00', 39, 39, 'COMM', '', '', 'Volt maximum demands cleared', '', 0, 24835, 0);
INSERT INTO public.event_records VALUES (2305001, '2025-11-30 23:24:52.305+00', 40, 40, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 00:35:07+00', 1, 1, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 01:10:14.952+00', 2, 2, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 01:45:21.28+00', 3, 3, 'SP EVENT', '', '', 'SP operated', '#1', 4352, 57600, 2530);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 02:20:29.453+00', 4, 4, 'SP EVENT', '', '', 'SP released', '#1', 4352, 57856, 2480);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 02:55:36.682+00', 5, 5, 'SP EVENT', '', '', 'SP operated', '#5', 5123, 57604, 820);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 03:30:43.209+00', 6, 6, 'SP EVENT', '', '', 'SP released', '#5', 5123, 57860, 900);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 04:05:51.239+00', 7, 7, 'SP ACTION', 'SP1', '', 'Operate relay RO', '#1', 23040, 12288, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 04:40:58.581+00', 8, 8, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 05:16:05.326+00', 9, 9, 'COMM', '', '', 'Total energy registers cleared', '', 0, 24576, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 05:51:13.314+00', 10, 10, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 06:26:20.387+00', 11, 11, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 07:01:27.074+00', 12, 12, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 07:36:35.819+00', 13, 13, 'SP EVENT', '', '', 'SP operated', '#2', 4352, 57601, 2530);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 08:11:42.672+00', 14, 14, 'SP EVENT', '', '', 'SP released', '#2', 4352, 57857, 2480);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 08:46:49.164+00', 15, 15, 'SP EVENT', '', '', 'SP operated', '#6', 5123, 57605, 820);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 09:21:57.038+00', 16, 16, 'SP EVENT', '', '', 'SP released', '#6', 5123, 57861, 900);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 09:57:04.484+00', 17, 17, 'SP ACTION', 'SP2', '', 'Operate relay RO', '#2', 23041, 12289, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 10:32:11.187+00', 18, 18, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 11:07:19.805+00', 19, 19, 'COMM', '', '', 'Power maximum demands cleared', '', 0, 24833, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 11:42:26.403+00', 20, 20, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 12:17:33.033+00', 21, 21, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 12:52:40.83+00', 22, 22, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 13:27:48.608+00', 23, 23, 'SP EVENT', '', '', 'SP operated', '#3', 4352, 57602, 2530);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 14:02:55.057+00', 24, 24, 'SP EVENT', '', '', 'SP released', '#3', 4352, 57858, 2480);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 14:38:02.425+00', 25, 25, 'SP EVENT', '', '', 'SP operated', '#7', 5123, 57606, 820);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 15:13:10.513+00', 26, 26, 'SP EVENT', '', '', 'SP released', '#7', 5123, 57862, 900);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 15:48:17.425+00', 27, 27, 'SP ACTION', 'SP3', '', 'Operate relay RO', '#3', 23042, 12290, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 16:23:24.931+00', 28, 28, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 16:58:32.507+00', 29, 29, 'COMM', '', '', 'Total energy registers cleared', '', 0, 24576, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 17:33:39.445+00', 30, 30, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 18:08:46.545+00', 31, 31, 'EXTERNAL', 'Power down', '', '', '', 25344, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 18:43:54.325+00', 32, 32, 'EXTERNAL', 'Power up', '', '', '', 25352, 0, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 19:19:01.349+00', 33, 33, 'SP EVENT', '', '', 'SP operated', '#4', 4352, 57603, 2530);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 19:54:08.295+00', 34, 34, 'SP EVENT', '', '', 'SP released', '#4', 4352, 57859, 2480);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 20:29:16.987+00', 35, 35, 'SP EVENT', '', '', 'SP operated', '#8', 5123, 57607, 820);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 21:04:23.167+00', 36, 36, 'SP EVENT', '', '', 'SP released', '#8', 5123, 57863, 900);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 21:39:30.07+00', 37, 37, 'SP ACTION', 'SP4', '', 'Operate relay RO', '#4', 23043, 12291, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 22:14:38.645+00', 38, 38, 'COMM', 'Memory setup', '', 'Setup change', '', 23317, 62464, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 22:49:45.29+00', 39, 39, 'COMM', '', '', 'Volt maximum demands cleared', '', 0, 24835, 0);
INSERT INTO public.event_records VALUES (1201784, '2025-11-30 23:24:52.305+00', 40, 40, 'COMM', '', '', 'RTC set', '', 0, 62720, 0);


--
-- Data for Name: live_readings; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4352, 'V1', 'V', 230.3);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4353, 'V2', 'V', 232);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4354, 'V3', 'V', 232);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4355, 'I1', 'A', 8.58);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4356, 'I2', 'A', 8.81);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4357, 'I3', 'A', 12.57);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4358, 'kW L1', 'kW', 1.876);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4359, 'kW L2', 'kW', 1.917);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4360, 'kW L3', 'kW', 2.679);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4361, 'kvar L1', 'kvar', 0.617);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4362, 'kvar L2', 'kvar', 0.706);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4363, 'kvar L3', 'kvar', 1.149);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4364, 'kVA L1', 'kVA', 1.975);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4365, 'kVA L2', 'kVA', 2.043);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4366, 'kVA L3', 'kVA', 2.915);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4367, 'PF L1', '', 0.95);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4368, 'PF L2', '', 0.938);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4369, 'PF L3', '', 0.919);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4370, 'V1 THD', '%', 2.1);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4371, 'V2 THD', '%', 2.4);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4372, 'V3 THD', '%', 2.7);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4373, 'I1 THD', '%', 8.5);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4374, 'I2 THD', '%', 9.5);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4375, 'I3 THD', '%', 10.5);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4376, 'I1 K-Factor', '', 1.2);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4377, 'I2 K-Factor', '', 1.3);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4378, 'I3 K-Factor', '', 1.4);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4379, 'I1 TDD', '%', 6);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4380, 'I2 TDD', '%', 6.5);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4381, 'I3 TDD', '%', 7);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4382, 'V12', 'V', 398.9);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4383, 'V23', 'V', 401.8);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 4384, 'V31', 'V', 401.8);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5120, 'Total kW', 'kW', 6.473);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5121, 'Total kvar', 'kvar', 2.471);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5122, 'Total kVA', 'kVA', 6.933);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5123, 'Total PF', '', 0.934);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5124, 'Total PF lag', '', 0.934);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5125, 'Total PF lead', '', 0);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5126, 'Total kW import', 'kW', 6.473);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5127, 'Total kW export', 'kW', 0);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5128, 'Total kvar import', 'kvar', 2.471);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5129, 'Total kvar export', 'kvar', 0);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5130, 'V avg', 'V', 231.4);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5131, 'V L-L avg', 'V', 400.8);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5132, 'I avg', 'A', 9.98);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5376, 'I4', 'A', 0);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5377, 'In', 'A', 0.35);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5378, 'Frequency', 'Hz', 49.99);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5379, 'V unbalance', '%', 0.5);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5380, 'I unbalance', '%', 1.2);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5390, 'I leakage', 'A', 0);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5888, 'kWh import', 'kWh', 123456.78);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5889, 'kWh export', 'kWh', 123.45);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5890, 'kWh net', 'kWh', 123333.33);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5891, 'kWh total', 'kWh', 123580.23);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5892, 'kvarh import', 'kvarh', 45678.9);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5893, 'kvarh export', 'kvarh', 23.45);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5894, 'kvarh net', 'kvarh', 45655.45);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5895, 'kvarh total', 'kvarh', 45702.35);
INSERT INTO public.live_readings VALUES (2305001, '2026-12-07 16:04:15.223+00', 5896, 'kVAh total', 'kVAh', 135792.46);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4352, 'V1', 'V', 230.3);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4353, 'V2', 'V', 232);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4354, 'V3', 'V', 232);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4355, 'I1', 'A', 8.58);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4356, 'I2', 'A', 8.81);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4357, 'I3', 'A', 12.57);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4358, 'kW L1', 'kW', 1.876);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4359, 'kW L2', 'kW', 1.917);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4360, 'kW L3', 'kW', 2.679);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4361, 'kvar L1', 'kvar', 0.617);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4362, 'kvar L2', 'kvar', 0.706);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4363, 'kvar L3', 'kvar', 1.149);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4364, 'kVA L1', 'kVA', 1.975);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4365, 'kVA L2', 'kVA', 2.043);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4366, 'kVA L3', 'kVA', 2.915);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4367, 'PF L1', '', 0.95);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4368, 'PF L2', '', 0.938);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4369, 'PF L3', '', 0.919);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4370, 'V1 THD', '%', 2.1);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4371, 'V2 THD', '%', 2.4);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4372, 'V3 THD', '%', 2.7);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4373, 'I1 THD', '%', 8.5);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4374, 'I2 THD', '%', 9.5);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4375, 'I3 THD', '%', 10.5);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4376, 'I1 K-Factor', '', 1.2);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4377, 'I2 K-Factor', '', 1.3);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4378, 'I3 K-Factor', '', 1.4);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4379, 'I1 TDD', '%', 6);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4380, 'I2 TDD', '%', 6.5);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4381, 'I3 TDD', '%', 7);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4382, 'V12', 'V', 398.9);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4383, 'V23', 'V', 401.8);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 4384, 'V31', 'V', 401.8);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5120, 'Total kW', 'kW', 6.473);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5121, 'Total kvar', 'kvar', 2.471);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5122, 'Total kVA', 'kVA', 6.933);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5123, 'Total PF', '', 0.934);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5124, 'Total PF lag', '', 0.934);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5125, 'Total PF lead', '', 0);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5126, 'Total kW import', 'kW', 6.473);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5127, 'Total kW export', 'kW', 0);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5128, 'Total kvar import', 'kvar', 2.471);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5129, 'Total kvar export', 'kvar', 0);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5130, 'V avg', 'V', 231.4);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5131, 'V L-L avg', 'V', 400.8);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5132, 'I avg', 'A', 9.98);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5377, 'In', 'A', 0.35);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5378, 'Frequency', 'Hz', 49.99);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5379, 'V unbalance', '%', 1);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5380, 'I unbalance', '%', 12);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5888, 'kWh import', 'kWh', 123456.78);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5889, 'kWh export', 'kWh', 123.45);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5892, 'kvarh import', 'kvarh', 45678.9);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5893, 'kvarh export', 'kvarh', 23.45);
INSERT INTO public.live_readings VALUES (1201784, '2026-12-07 16:04:15.229+00', 5896, 'kVAh total', 'kVAh', 135792.46);


--
-- Data for Name: log_directory; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.log_directory VALUES (2305001, 0, 'eventlog', 40, NULL, '2026-12-07 16:04:15.212974+00');
INSERT INTO public.log_directory VALUES (2305001, 1, 'datalog', 96, '[["V1", "V"], ["V2", "V"], ["V3", "V"], ["I1", "A"], ["I2", "A"], ["I3", "A"], ["Total kW", "kW"], ["Total PF", ""], ["kWh import", "kWh"]]', '2026-12-07 16:04:15.212974+00');
INSERT INTO public.log_directory VALUES (2305001, 2, 'datalog', 96, '[["kW L1", "kW"], ["kW L2", "kW"], ["kW L3", "kW"], ["Total kvar", "kvar"], ["Total kVA", "kVA"], ["Frequency", "Hz"], ["V1 THD", "%"], ["V2 THD", "%"], ["V3 THD", "%"]]', '2026-12-07 16:04:15.212974+00');
INSERT INTO public.log_directory VALUES (2305001, 3, 'datalog', 96, '[["kW import block demand", "kW"], ["kvar import block demand", "kvar"], ["kVA block demand", "kVA"], ["kWh import", "kWh"], ["kWh export", "kWh"], ["kvarh import", "kvarh"], ["Energy REG1", "kWh"]]', '2026-12-07 16:04:15.212974+00');
INSERT INTO public.log_directory VALUES (1201784, 0, 'eventlog', 40, NULL, '2026-12-07 16:04:15.215997+00');
INSERT INTO public.log_directory VALUES (1201784, 1, 'datalog', 96, '[["V1", "V"], ["V2", "V"], ["V3", "V"], ["I1", "A"], ["I2", "A"], ["I3", "A"], ["Total kW", "kW"], ["Total PF", ""], ["kWh import", "kWh"]]', '2026-12-07 16:04:15.215997+00');
INSERT INTO public.log_directory VALUES (1201784, 2, 'datalog', 96, '[["kW L1", "kW"], ["kW L2", "kW"], ["kW L3", "kW"], ["Total kvar", "kvar"], ["Total kVA", "kVA"], ["Frequency", "Hz"], ["V1 THD", "%"], ["V2 THD", "%"], ["V3 THD", "%"]]', '2026-12-07 16:04:15.215997+00');
INSERT INTO public.log_directory VALUES (1201784, 3, 'datalog', 96, '[["kW import block demand", "kW"], ["kvar import block demand", "kvar"], ["kVA block demand", "kVA"], ["kWh import", "kWh"], ["kWh export", "kWh"], ["kvarh import", "kvarh"], ["Energy REG1", "kWh"]]', '2026-12-07 16:04:15.215997+00');


--
-- Data for Name: meters; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.meters VALUES (2305001, 'em235', 'EM235', '2.3', '127.0.0.1', 35369, '2026-12-07 16:04:15.212974+00', '{"host": "127.0.0.1", "meter": "em235", "setup": {"pt_ratio": 1.0, "energy_decimals": 2, "high_resolution": true}, "serial": 2305001, "options": 65538, "firmware": {"build": 3, "version": 2}, "model_id": 235, "bootloader": {"build": 5, "version": 4}, "model_name": "EM235"}');
INSERT INTO public.meters VALUES (1201784, 'em133', 'EM133', '3.12', '127.0.0.1', 39161, '2026-12-07 16:04:15.215997+00', '{"host": "127.0.0.1", "meter": "em133", "setup": {"pt_ratio": 1.0, "energy_decimals": 2, "high_resolution": true}, "serial": 1201784, "options": 0, "firmware": {"build": 12, "version": 3}, "model_id": 133, "bootloader": {"build": 4, "version": 1}, "model_name": "EM133"}');


--
-- Data for Name: schema_version; Type: TABLE DATA; Schema: public; Owner: -
--

INSERT INTO public.schema_version VALUES (1);


--
-- Name: datalog_layouts_layout_id_seq; Type: SEQUENCE SET; Schema: public; Owner: -
--

SELECT pg_catalog.setval('public.datalog_layouts_layout_id_seq', 6, true);


--
-- Name: datalog_layouts datalog_layouts_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.datalog_layouts
    ADD CONSTRAINT datalog_layouts_pkey PRIMARY KEY (layout_id);


--
-- Name: datalog_layouts datalog_layouts_serial_file_id_columns_key; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.datalog_layouts
    ADD CONSTRAINT datalog_layouts_serial_file_id_columns_key UNIQUE (serial, file_id, columns);


--
-- Name: datalog_records datalog_records_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.datalog_records
    ADD CONSTRAINT datalog_records_pkey PRIMARY KEY (serial, file_id, recorded_at, seq);


--
-- Name: event_records event_records_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.event_records
    ADD CONSTRAINT event_records_pkey PRIMARY KEY (serial, recorded_at, seq);


--
-- Name: live_readings live_readings_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.live_readings
    ADD CONSTRAINT live_readings_pkey PRIMARY KEY (serial, taken_at, pid);


--
-- Name: log_directory log_directory_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.log_directory
    ADD CONSTRAINT log_directory_pkey PRIMARY KEY (serial, file_id);


--
-- Name: meters meters_pkey; Type: CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.meters
    ADD CONSTRAINT meters_pkey PRIMARY KEY (serial);


--
-- Name: datalog_records datalog_records_layout_id_fkey; Type: FK CONSTRAINT; Schema: public; Owner: -
--

ALTER TABLE ONLY public.datalog_records
    ADD CONSTRAINT datalog_records_layout_id_fkey FOREIGN KEY (layout_id) REFERENCES public.datalog_layouts(layout_id);


--
-- PostgreSQL database dump complete
--

\unrestrict u30PlW5dFx8QN84rfCo0z3SQQxR9FqL9lO35KJZQBSfEZBf1jDSk04KjhyVjbFZ

